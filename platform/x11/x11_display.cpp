#include "platform/x11/x11_display.h"

#include <X11/Xlib.h>
#include <gdk/gdk.h>

#include <cstdlib>
#include <string>

namespace platform::x11 {

void DisplayClose::operator()(Display* display) const { XCloseDisplay(display); }

std::string DisplayName() {
  if (GdkDisplay* display = gdk_display_get_default()) {
    if (const char* name = gdk_display_get_name(display)) return name;
  }
  const char* name = std::getenv("DISPLAY");
  return name != nullptr ? name : "";
}

DisplayPtr OpenDisplay(const std::string& name) {
  return DisplayPtr(XOpenDisplay(name.empty() ? nullptr : name.c_str()));
}

}  // namespace platform::x11
