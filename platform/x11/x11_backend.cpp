#include "platform/x11/x11_backend.h"

#include <cstdlib>
#include <memory>
#include <string>

#include "platform/x11/x11_input.h"

namespace platform::x11 {

std::unique_ptr<InputDevice> X11Backend::OpenInput() { return X11Input::Open(); }

std::string X11Backend::AboutSession() {
  const char* display = std::getenv("DISPLAY");
  return std::string("display server: X11 (") + (display ? display : "") +
         ")\ninput: XTest\npointer reading: XQueryPointer\nhotkeys: XInput2 raw key events, whatever has the focus\n";
}

}  // namespace platform::x11
