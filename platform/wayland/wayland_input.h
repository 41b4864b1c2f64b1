// The input device Form1 holds on Wayland: whichever way the route has taken, asked at each
// call, so a portal session that gives way to the wlroots pointer after the device was opened
// is followed. Where the route has no way yet, every operation does nothing, as a tick that
// finds no device skips; failures come later, through the route's loss.
#pragma once

#include <cstdint>
#include <string>

#include "platform/input_device.h"
#include "platform/wayland/pointer_way.h"

namespace platform::wayland {

// The way in use and F7's source: null while there is none yet.
class WayInUse {
 public:
  virtual ~WayInUse() = default;
  // Throws InputError where there is none at all.
  virtual PointerWay* Way() = 0;
  virtual PointerReader* Reader() = 0;
};

class WaylandInput : public InputDevice {
 public:
  explicit WaylandInput(WayInUse& ways) : ways_(ways) {}

  bool ReadCursor(std::string& x, std::string& y) override;
  void MoveCursor(std::int32_t x, std::int32_t y) override;
  void ClickLeft() override { Click(kLeft, 1); }
  void ClickRight() override { Click(kRight, 1); }
  void ClickMiddle() override { Click(kMiddle, 1); }
  // Two clicks back to back, well inside any double-click time.
  void DoubleClickLeft() override { Click(kLeft, 2); }
  void WheelUp() override { Scroll(-1); }
  void WheelDown() override { Scroll(1); }

 private:
  // Linux input event codes (BTN_LEFT, BTN_RIGHT, BTN_MIDDLE).
  static constexpr int kLeft = 0x110, kRight = 0x111, kMiddle = 0x112;

  void Click(int button, int times);
  void Scroll(int steps);

  WayInUse& ways_;
};

}  // namespace platform::wayland
