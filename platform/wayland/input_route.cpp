#include "platform/wayland/input_route.h"

#include <cstdint>
#include <string>

namespace platform::wayland {

void InputRoute::Probed(std::uint32_t version, const std::string& why) {
  if (state_ != State::Probing) return;
  if (version > 0) {
    state_ = State::Asking;
    if (effects_.ask) effects_.ask();
    return;
  }
  state_ = wlr_ ? State::Wlr : State::None;
  Tell(why);
  if (effects_.letPresses) effects_.letPresses(true);
}

void InputRoute::Granted(const std::string& way) {
  if (state_ != State::Asking) return;
  state_ = State::Ready;
  worked_ = true;
  Tell(way);
  if (effects_.letPresses) effects_.letPresses(true);
}

void InputRoute::Ended(std::int64_t code, const std::string& reason) {
  if (state_ != State::Asking && state_ != State::Ready) return;
  if (wlr_ && !worked_) {
    state_ = State::Wlr;
    Tell("远程桌面门户失败: " + reason);
    if (effects_.letPresses) effects_.letPresses(true);
    return;
  }
  state_ = State::Idle;
  Tell(reason);
  if (effects_.letPresses) effects_.letPresses(false);  // refused at start-up: its message is all those presses get
  if (effects_.lost) effects_.lost(code, reason);
}

bool InputRoute::Admit() {
  switch (state_) {
    case State::Probing:
    case State::Asking:
      return false;
    case State::Idle:
      state_ = State::Asking;
      if (effects_.ask) effects_.ask();
      return false;
    case State::Ready:
    case State::Wlr:
    case State::None:
      return true;
  }
  return true;
}

void InputRoute::Tell(const std::string& detail) {
  if (told_) return;
  told_ = true;
  if (effects_.tell) effects_.tell(state_, detail);
}

}  // namespace platform::wayland
