#include "platform/wayland/wlr_way.h"

namespace platform::wayland {

std::optional<std::pair<int, int>> WlrWay::ReadPointer() {
  if (overlay_ == nullptr) return moved_;  // without a layer shell, only where we put it is known
  auto point = overlay_->Take();
  if (!point) overlay_->Look();
  return point;
}

void WlrWay::Move(double x, double y) {
  pointer_.Move(static_cast<int>(x), static_cast<int>(y));
  moved_ = std::make_pair(static_cast<int>(x), static_cast<int>(y));
}

}  // namespace platform::wayland
