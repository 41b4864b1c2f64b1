#include "platform/wayland/wlr_input.h"

#include <string>

namespace platform::wayland {

bool WlrInput::ReadCursor(std::string& x, std::string& y) {
  std::optional<std::pair<int, int>> point;
  if (overlay_ != nullptr) {
    point = overlay_->Take();
    if (!point) overlay_->Look();
  } else {
    point = moved_;  // without a layer shell, only where we put it is known
  }
  if (!point) return false;
  x = std::to_string(point->first);
  y = std::to_string(point->second);
  return true;
}

void WlrInput::MoveCursor(std::int32_t x, std::int32_t y) {
  pointer_.Move(x, y);
  moved_ = std::make_pair(int{x}, int{y});
}

}  // namespace platform::wayland
