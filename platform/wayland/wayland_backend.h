// The Wayland display backend: the desktop portals for the pointer (RemoteDesktop with ScreenCast)
// and for the hotkeys (GlobalShortcuts). The session is asked for when the window is made, before
// it takes input, so the permission dialog never swallows the first F7.
// Where GlobalShortcuts is missing, F5/F6/F7 work while Tapwing's own window has the focus.
#pragma once

#include <memory>

#include "platform/gtk/gtk_display_backend.h"
#include "platform/wayland/wayland_portal.h"
#include "platform/wayland/wayland_remote_desktop.h"
#include "platform/wayland/wayland_shortcuts.h"

namespace platform::wayland {

// Whether GTK runs on a Wayland display.
bool IsWaylandDisplay();

class WaylandBackend : public gtk::DisplayBackend {
 public:
  WaylandBackend();

  gtk::HotkeyLatches& Hotkeys() override { return hotkeys_; }
  void Attach(GtkWidget* window) override;
  std::unique_ptr<InputDevice> OpenInput() override;
  bool InputAllowed() override;

 private:
  gtk::HotkeyLatches hotkeys_;
  Portal portal_;
  RemoteDesktop desktop_;
  Shortcuts shortcuts_;
};

}  // namespace platform::wayland
