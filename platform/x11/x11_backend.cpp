#include "platform/x11/x11_backend.h"

#include "platform/x11/x11_input.h"

namespace platform::x11 {

std::unique_ptr<InputDevice> X11Backend::OpenInput() { return X11Input::Open(); }

}  // namespace platform::x11
