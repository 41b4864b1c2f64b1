// The state every backend's timer keeps, so that each backend writes only how its clock is set.
#pragma once

#include "platform/controls.h"

namespace platform {

class TimerState : public Timer {
 public:
  int Interval() const final { return interval_; }
  void SetInterval(int milliseconds) final;
  bool Enabled() const final { return enabled_; }
  void SetEnabled(bool enabled) final;
  // Ticks only when enabled with a positive period.
  bool Running() const { return enabled_ && interval_ > 0; }

 protected:
  TimerState(int interval, bool enabled) : interval_(interval), enabled_(enabled) {}
  // After every change of the period or the flag: the period starts over, or the timer stops.
  virtual void Restart() = 0;

 private:
  int interval_;
  bool enabled_;
};

}  // namespace platform
