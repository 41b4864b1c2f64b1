// Private X connections. The keyboard and the input device each open their own, so their events
// and requests never mix with GTK's, and closing one never disturbs the window.
// Implemented: opening GTK's display again. Not possible here: a Wayland display (X11 only).
#pragma once

#include <memory>
#include <string>

// Xlib's own declaration, so that its macros (None, Bool, Status...) stay out of our headers.
typedef struct _XDisplay Display;

namespace platform::x11 {

struct DisplayClose {
  void operator()(Display* display) const;
};
using DisplayPtr = std::unique_ptr<Display, DisplayClose>;

// The display GTK runs on (DISPLAY when GTK has none yet).
std::string DisplayName();

// A new connection to `name` (GTK's display by default), or null when none can be made.
DisplayPtr OpenDisplay(const std::string& name = DisplayName());

}  // namespace platform::x11
