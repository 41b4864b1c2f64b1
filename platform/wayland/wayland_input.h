// The input device Form1 holds on Wayland: whichever way the route has taken, asked at each
// call, so a portal session that gives way to the wlroots pointer after the device was opened
// is followed. Where the route has no way yet, every operation does nothing, as a tick that
// finds no device skips; failures come later, through the route's loss.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>

#include "platform/input_device.h"
#include "platform/wayland/pointer_way.h"

namespace platform::wayland {

class WaylandInput : public InputDevice {
 public:
  // `way`: the way in use, null while there is none yet; throws InputError where there is none.
  explicit WaylandInput(std::function<PointerWay*()> way) : way_(std::move(way)) {}

  bool ReadCursor(std::string& x, std::string& y) override;
  void MoveCursor(std::int32_t x, std::int32_t y) override { Do([=](PointerWay& w) { w.Move(x, y); }); }
  void ClickLeft() override { Click(kLeft, 1); }
  void ClickRight() override { Click(kRight, 1); }
  void ClickMiddle() override { Click(kMiddle, 1); }
  // Two clicks back to back, well inside any double-click time.
  void DoubleClickLeft() override { Click(kLeft, 2); }
  void WheelUp() override { Do([](PointerWay& w) { w.Scroll(-1); }); }
  void WheelDown() override { Do([](PointerWay& w) { w.Scroll(1); }); }

 private:
  // Linux input event codes (BTN_LEFT, BTN_RIGHT, BTN_MIDDLE).
  static constexpr int kLeft = 0x110, kRight = 0x111, kMiddle = 0x112;

  void Click(int button, int times) {
    Do([=](PointerWay& w) { w.Click(button, times); });
  }
  template <typename Operation>
  void Do(Operation operation) {
    if (PointerWay* way = way_()) operation(*way);
  }

  std::function<PointerWay*()> way_;
};

}  // namespace platform::wayland
