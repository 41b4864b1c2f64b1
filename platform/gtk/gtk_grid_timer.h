// A timer on a fixed grid of absolute deadlines (timerfd, CLOCK_MONOTONIC), watched from the
// GLib loop. A tick that comes later than a whole period is dropped, not made up: the kernel
// counts the expirations, the timer fires once, and the next deadline is the next grid point.
// Setting the interval or the enabled flag while it runs starts the period over; a stopped
// timer never ticks, not even for an expiration already waiting. It may tick again while an
// earlier tick's handler waits in a message box, as a Windows timer does in a modal loop.
// A timer whose ticks have nothing to do at rest (the hotkey poll) may sleep between them: after
// a tick its `idle` test calls quiet it stops waking the process, and Wake() puts it back on its
// own grid, so its ticks fall exactly where they would have fallen.
// Implemented: everything above. Not possible here: periods below the kernel's timer slack
// (50 us by default) are not kept more finely than that.
#pragma once

#include <glib.h>

#include <ctime>
#include <functional>
#include <utility>

#include "platform/timer_state.h"
#include "platform/gtk/gtk_controls.h"
#include "platform/gtk/gtk_handles.h"

namespace platform::gtk {

class GridTimer : public TimerState {
 public:
  GridTimer(EventSink& sink, int interval, bool enabled);
  ~GridTimer() override = default;
  GridTimer(const GridTimer&) = delete;
  GridTimer& operator=(const GridTimer&) = delete;


  // After each tick for which `idle` answers true, the timer sleeps until Wake().
  void SleepWhile(std::function<bool()> idle) { idle_ = std::move(idle); }
  // The next tick comes at the next point of the grid, if the timer runs and sleeps.
  void Wake();

 private:
  void Restart() override;
  void Arm(timespec first);
  static gboolean OnExpired(gint fd, GIOCondition condition, gpointer self);

  EventSink& sink_;
  UniqueFd fd_;
  GSourcePtr watch_;
  timespec origin_{};  // where the grid starts: the last (re)start
  std::function<bool()> idle_;
  bool asleep_ = false;
};

}  // namespace platform::gtk
