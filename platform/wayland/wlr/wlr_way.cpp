#include "platform/wayland/wlr/wlr_way.h"

#include <memory>
#include <optional>
#include <utility>

namespace platform::wayland {
namespace {

// Reading takes a frame: the first read shows the overlay and knows nothing yet; a read once
// the overlay has the point answers (F7 reads again at each poll until then).
class OverlayReader : public PointerReader {
 public:
  explicit OverlayReader(VirtualPointer& pointer) : overlay_(pointer) {}
  std::optional<std::pair<int, int>> ReadPointer(PointerWay&) override {
    auto point = overlay_.Take();
    if (!point) overlay_.Look();
    return point;
  }

 private:
  PointerOverlay overlay_;
};

}  // namespace

std::unique_ptr<WlrWay> WlrWay::Open(GdkDisplay* display) {
  auto pointer = VirtualPointer::Open(display);
  if (!pointer) return nullptr;
  return std::unique_ptr<WlrWay>(new WlrWay(std::move(pointer)));
}

WlrWay::WlrWay(std::unique_ptr<VirtualPointer> pointer) : pointer_(std::move(pointer)) {
  hasOverlay_ = PointerOverlay::Supported();
  if (hasOverlay_) {
    reader_ = std::make_unique<OverlayReader>(*pointer_);
  } else {
    reader_ = std::make_unique<UnreadablePointer>(
        "这个桌面不告诉 Tapwing 指针的位置: 它没有 layer-shell (zwlr_layer_shell_v1). 请直接输入坐标");
  }
}

bool WlrWay::Move(double x, double y) {
  pointer_->Move(static_cast<int>(x), static_cast<int>(y));
  return true;
}

}  // namespace platform::wayland
