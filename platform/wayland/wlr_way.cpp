#include "platform/wayland/wlr_way.h"

#include <optional>
#include <utility>

#include "platform/input_device.h"

namespace platform::wayland {

std::optional<std::pair<int, int>> WlrWay::ReadPointer() {
  if (overlay_ == nullptr)
    throw PointerUnreadable(0, "这个桌面不告诉 Tapwing 指针的位置: 它没有 layer-shell (zwlr_layer_shell_v1). 请直接输入坐标");
  auto point = overlay_->Take();
  if (!point) overlay_->Look();
  return point;
}

void WlrWay::Move(double x, double y) {
  pointer_.Move(static_cast<int>(x), static_cast<int>(y));
}

}  // namespace platform::wayland
