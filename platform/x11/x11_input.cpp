#include "platform/x11/x11_input.h"

#include <cstdint>
#include <memory>
#include <string>
#include <utility>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

namespace platform::x11 {
namespace {

constexpr std::int64_t kNoServer = 1;
constexpr std::int64_t kNoXTest = 2;

InputError Unavailable(std::int64_t code, const std::string& reason) { return DeviceUnavailable(code, "XTest", reason); }

}  // namespace

std::unique_ptr<X11Input> X11Input::Open(const std::string& displayName) {
  DisplayPtr display = OpenDisplay(displayName);
  if (display == nullptr) {
    throw Unavailable(kNoServer, displayName.empty() ? "无法连接 X 显示服务器 (DISPLAY 未设置)"
                                                     : "无法连接 X 显示服务器 " + displayName);
  }
  int event = 0, error = 0, major = 0, minor = 0;
  if (!XTestQueryExtension(display.get(), &event, &error, &major, &minor))
    throw Unavailable(kNoXTest, "X 服务器没有 XTEST 扩展");
  // Our own moves and clicks must not be held back by another client's grab of the server.
  XTestGrabControl(display.get(), True);
  return std::unique_ptr<X11Input>(new X11Input(std::move(display)));
}

bool X11Input::ReadCursor(std::string& x, std::string& y) {
  Display* display = display_.get();
  Window root = 0, child = 0;
  int rootX = 0, rootY = 0, windowX = 0, windowY = 0;
  unsigned mask = 0;
  XQueryPointer(display, DefaultRootWindow(display), &root, &child, &rootX, &rootY, &windowX, &windowY, &mask);
  x = std::to_string(rootX);
  y = std::to_string(rootY);
  return true;
}

void X11Input::MoveCursor(std::int32_t x, std::int32_t y) {
  Display* display = display_.get();
  XTestFakeMotionEvent(display, DefaultScreen(display), x, y, CurrentTime);
  XSync(display, False);
}

void X11Input::Press(unsigned button, bool down) {
  XTestFakeButtonEvent(display_.get(), button, down ? True : False, CurrentTime);
}

void X11Input::Click(unsigned button) {
  Press(button, true);
  Press(button, false);
  XSync(display_.get(), False);
}

void X11Input::DoubleClickLeft() {
  for (int i = 0; i < 2; ++i) {
    Press(1, true);
    Press(1, false);
  }
  XSync(display_.get(), False);
}

}  // namespace platform::x11
