// The way on wlroots compositors: the virtual pointer, and the pointer overlay for reading it,
// both the backend's. Reading the pointer takes a frame: the first read shows the overlay and
// knows nothing yet; a read once the overlay has the point answers (F7 reads again at each
// poll until then).
#pragma once

#include <optional>
#include <utility>

#include "platform/wayland/pointer_way.h"
#include "platform/wayland/wlr_pointer_overlay.h"
#include "platform/wayland/wlr_virtual_pointer.h"

namespace platform::wayland {

class WlrWay : public PointerWay {
 public:
  // overlay: null where the compositor has no layer shell.
  WlrWay(VirtualPointer& pointer, PointerOverlay* overlay) : pointer_(pointer), overlay_(overlay) {}

  std::optional<std::pair<int, int>> ReadPointer() override;
  void Move(double x, double y) override;
  void Click(int button, int times) override { pointer_.Click(button, times); }
  void Scroll(int steps) override { pointer_.Scroll(steps); }

 private:
  VirtualPointer& pointer_;
  PointerOverlay* overlay_;
};

}  // namespace platform::wayland
