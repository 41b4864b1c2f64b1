// The Wayland display backend. Which way the pointer goes is probed when the window is made,
// before it takes input, in this order: the desktop portals (RemoteDesktop with ScreenCast;
// GNOME, KDE), the wlroots virtual pointer with a layer-shell overlay for F7 (sway, Hyprland),
// else nothing, and the first F7 or F5 says what is missing. The choice goes to stderr once.
// The hotkeys: the GlobalShortcuts portal where there is one; F5/F6/F7 always work while
// Tapwing's own window has the focus, and `tapwing --hotkey F5` from a desktop's key binding.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/gtk/gtk_display_backend.h"
#include "platform/wayland/input_route.h"
#include "platform/wayland/wayland_portal.h"
#include "platform/wayland/wayland_remote_desktop.h"
#include "platform/wayland/wayland_shortcuts.h"
#include "platform/wayland/wlr_pointer_overlay.h"
#include "platform/wayland/wlr_virtual_pointer.h"
#include "platform/wayland/wlr_way.h"

namespace platform::wayland {

// Whether GTK runs on a Wayland display.
bool IsWaylandDisplay();

class WaylandBackend : public gtk::DisplayBackend {
 public:
  WaylandBackend();
  ~WaylandBackend() override;

  gtk::HotkeyLatches& Hotkeys() override { return hotkeys_; }
  void Attach(GtkWidget* window) override;
  std::unique_ptr<InputDevice> OpenInput() override;
  bool InputAllowed() override;
  std::string AboutSession() override;

 private:
  // The way the route has taken: null while it has none yet; throws InputError where there is none.
  PointerWay* Way();
  InputRoute::Effects RouteEffects();
  void TellWay(InputRoute::State way, const std::string& detail);

  gtk::HotkeyLatches hotkeys_;
  Portal portal_;
  RemoteDesktop desktop_;
  Shortcuts shortcuts_;
  std::unique_ptr<VirtualPointer> wlr_;       // where the compositor has the wlroots virtual pointer
  std::unique_ptr<PointerOverlay> overlay_;   // where it also has the layer shell
  std::unique_ptr<WlrWay> wlrWay_;
  InputRoute route_;
  std::uint32_t portalVersion_ = 0;
};

}  // namespace platform::wayland
