// The input device Form1 uses on Wayland: a thin view of the backend's RemoteDesktop session,
// which outlives it. While the session is not ready every operation does nothing, as a tick that
// finds no device skips; failures come later, through the session's Lost.
#pragma once

#include "platform/input_device.h"
#include "platform/wayland/wayland_remote_desktop.h"

namespace platform::wayland {

class WaylandInput : public InputDevice {
 public:
  explicit WaylandInput(RemoteDesktop& desktop) : desktop_(desktop) {}

  bool ReadCursor(std::string& x, std::string& y) override;
  void MoveCursor(std::int32_t x, std::int32_t y) override { desktop_.Move(x, y); }
  void ClickLeft() override { desktop_.Click(kLeft, 1); }
  void ClickRight() override { desktop_.Click(kRight, 1); }
  void ClickMiddle() override { desktop_.Click(kMiddle, 1); }
  // Two clicks back to back, well inside any double-click time.
  void DoubleClickLeft() override { desktop_.Click(kLeft, 2); }
  void WheelUp() override { desktop_.Scroll(-1); }
  void WheelDown() override { desktop_.Scroll(1); }

 private:
  // Linux input event codes (BTN_LEFT, BTN_RIGHT, BTN_MIDDLE).
  static constexpr int kLeft = 0x110, kRight = 0x111, kMiddle = 0x112;

  RemoteDesktop& desktop_;
};

}  // namespace platform::wayland
