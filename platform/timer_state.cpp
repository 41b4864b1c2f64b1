#include "platform/timer_state.h"

namespace platform {

void TimerState::SetInterval(int milliseconds) {
  interval_ = milliseconds;
  Restart();
}

void TimerState::SetEnabled(bool enabled) {
  enabled_ = enabled;
  Restart();
}

}  // namespace platform
