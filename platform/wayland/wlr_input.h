// The input device on wlroots compositors: a view of the backend's virtual pointer and pointer
// overlay, which outlive it. Reading the pointer takes a frame: the first ReadCursor shows the
// overlay and answers false; once the overlay has the point, the backend delivers the F7 press
// again and that read answers.
#pragma once

#include <optional>
#include <utility>

#include "platform/input_device.h"
#include "platform/wayland/wlr_pointer_overlay.h"
#include "platform/wayland/wlr_virtual_pointer.h"

namespace platform::wayland {

class WlrInput : public InputDevice {
 public:
  // overlay: null where the compositor has no layer shell.
  WlrInput(VirtualPointer& pointer, PointerOverlay* overlay) : pointer_(pointer), overlay_(overlay) {}

  bool ReadCursor(std::string& x, std::string& y) override;
  void MoveCursor(std::int32_t x, std::int32_t y) override;
  void ClickLeft() override { pointer_.Click(kLeft, 1); }
  void ClickRight() override { pointer_.Click(kRight, 1); }
  void ClickMiddle() override { pointer_.Click(kMiddle, 1); }
  void DoubleClickLeft() override { pointer_.Click(kLeft, 2); }
  void WheelUp() override { pointer_.Scroll(-1); }
  void WheelDown() override { pointer_.Scroll(1); }

 private:
  static constexpr int kLeft = 0x110, kRight = 0x111, kMiddle = 0x112;  // BTN_LEFT...

  VirtualPointer& pointer_;
  PointerOverlay* overlay_;
  std::optional<std::pair<int, int>> moved_;  // where we last put the pointer
};

}  // namespace platform::wayland
