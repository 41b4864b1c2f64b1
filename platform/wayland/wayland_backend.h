// The Wayland display backend. Which way the pointer goes is probed when the window is made,
// before it takes input, in this order: the desktop portals (RemoteDesktop with ScreenCast;
// GNOME, KDE), the wlroots virtual pointer with a layer-shell overlay for F7 (sway, Hyprland),
// else nothing, and the first F7 or F5 says what is missing. The choice goes to stderr once.
// The hotkeys: the GlobalShortcuts portal where there is one; F5/F6/F7 always work while
// Tapwing's own window has the focus, and `tapwing --hotkey F5` from a desktop's key binding.
#pragma once

#include <memory>
#include <string>

#include "platform/gtk/gtk_display_backend.h"
#include "platform/wayland/wayland_portal.h"
#include "platform/wayland/wayland_remote_desktop.h"
#include "platform/wayland/wayland_shortcuts.h"
#include "platform/wayland/wlr_pointer_overlay.h"
#include "platform/wayland/wlr_virtual_pointer.h"

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

  enum class Path { Probing, Portal, Wlr, None };
  // The device of the path in use: null while probing; throws InputError where there is none.
  InputDevice* Device();

 private:
  void Choose(Path path, const std::string& why);

  gtk::HotkeyLatches hotkeys_;
  Portal portal_;
  RemoteDesktop desktop_;
  Shortcuts shortcuts_;
  std::unique_ptr<VirtualPointer> wlr_;       // where the compositor has the wlroots virtual pointer
  std::unique_ptr<PointerOverlay> overlay_;   // where it also has the layer shell
  std::unique_ptr<InputDevice> portalInput_, wlrInput_;
  Path path_ = Path::Probing;
  std::string why_;             // what the probe found, for the message where nothing clicks
  bool portalWorked_ = false;   // a portal session was ready once: its loss is reported, not bypassed
  bool told_ = false;
};

}  // namespace platform::wayland
