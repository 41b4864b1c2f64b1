#include "platform/wayland/input_route.h"

#include <cstdint>
#include <string>

namespace platform::wayland {

void InputRoute::Probed(std::uint32_t version, const std::string& why) {
  if (state_ != State::Probing) return;
  if (version > 0 && !wlr_) {
    state_ = State::Asking;
    driver_.AskForSession();
    return;
  }
  state_ = wlr_ ? State::Wlr : State::None;
  Tell(why);
  driver_.LetPresses(true);
}

void InputRoute::Granted() {
  if (state_ != State::Asking) return;
  state_ = State::Ready;
  Tell({});
  driver_.LetPresses(true);
}

void InputRoute::Ended(std::int64_t code, const std::string& reason) {
  if (state_ != State::Asking && state_ != State::Ready) return;
  state_ = State::Idle;
  Tell(reason);
  driver_.LetPresses(false);  // refused at start-up: its message is all those presses get
  driver_.ReportLoss(code, reason);
}

bool InputRoute::Admit() {
  switch (state_) {
    case State::Probing:
    case State::Asking:
      return false;
    case State::Idle:
      state_ = State::Asking;
      driver_.AskForSession();
      return false;
    case State::Ready:
    case State::Wlr:
    case State::None:
      return true;
  }
  return true;
}

void InputRoute::Tell(const std::string& why) {
  if (told_) return;
  told_ = true;
  driver_.Tell(state_, why);
}

}  // namespace platform::wayland
