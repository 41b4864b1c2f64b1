#include "platform/wayland/wayland_backend.h"

#include <gdk/gdkwayland.h>

#include "platform/wayland/wayland_input.h"

namespace platform::wayland {

bool IsWaylandDisplay() {
  GdkDisplay* display = gdk_display_get_default();
  return display != nullptr && GDK_IS_WAYLAND_DISPLAY(display);
}

WaylandBackend::WaylandBackend()
    : desktop_(portal_,
               [this](std::int64_t code, const std::string& reason) {
                 if (InputLost) InputLost(DeviceUnavailable(code, "远程桌面", reason));
               }),
      shortcuts_(portal_, hotkeys_) {}

void WaylandBackend::Attach(GtkWidget* window) {
  hotkeys_.HearWindowKeys(window);
  shortcuts_.Bind();
  desktop_.Ask();
}

std::unique_ptr<InputDevice> WaylandBackend::OpenInput() { return std::make_unique<WaylandInput>(desktop_); }

// A press that finds no session asks for one and does nothing else.
bool WaylandBackend::InputAllowed() {
  if (desktop_.Current() == RemoteDesktop::State::Ready) return true;
  desktop_.Ask();
  return false;
}

}  // namespace platform::wayland
