// The run's pointer work through the XTest extension, on a private X connection opened for it.
//
// Implemented: absolute moves in root-window coordinates (all monitors of the screen), left,
// right and middle clicks, a double click (two clicks sent back to back, well inside any
// double-click time), wheel steps as buttons 4 and 5, and reading the pointer on the root
// window. Every operation is flushed to the server before it returns.
// Not possible here: clicks into windows of another X screen; losing the X server ends the whole
// program (GTK's connection goes with it), so no operation reports that case itself.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>

#include "platform/x11/x11_display.h"
#include "platform/input_device.h"

namespace platform::x11 {

class X11Input : public InputDevice {
 public:
  // Throws InputError when there is no X server to talk to or it has no XTEST extension.
  static std::unique_ptr<X11Input> Open(const std::string& displayName = DisplayName());

  bool ReadCursor(std::string& x, std::string& y) override;
  void MoveCursor(std::int32_t x, std::int32_t y) override;
  void ClickLeft() override { Click(1); }
  void ClickRight() override { Click(3); }
  void ClickMiddle() override { Click(2); }
  void DoubleClickLeft() override;
  void WheelUp() override { Click(4); }
  void WheelDown() override { Click(5); }

 private:
  explicit X11Input(DisplayPtr display) : display_(std::move(display)) {}
  void Press(unsigned button, bool down);
  void Click(unsigned button);

  DisplayPtr display_;
};

}  // namespace platform::x11
