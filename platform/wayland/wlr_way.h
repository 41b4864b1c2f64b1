// The way on wlroots compositors: the virtual pointer, and the pointer overlay for reading it,
// both the backend's. Reading the pointer takes a frame: the first read shows the overlay and
// knows nothing yet; once the overlay has the point, the backend delivers the F7 press again
// and that read answers.
#pragma once

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
  std::optional<std::pair<int, int>> moved_;  // where we last put the pointer
};

}  // namespace platform::wayland
