// The Wayland display backend. Which way the pointer goes is probed when the window is made,
// before it takes input, in this order: the wlroots virtual pointer with a layer-shell overlay
// for F7 (sway, labwc, Hyprland), the desktop portals (RemoteDesktop with ScreenCast; GNOME,
// KDE), else nothing, and the first F7 or F5 says what is missing. The choice goes to stderr
// once. The hotkeys: the GlobalShortcuts portal where there is one (not on wlroots desktops,
// which bind their own keys); F5/F6/F7 always work while Tapwing's own window has the focus,
// and `tapwing --hotkey F5` from a desktop's key binding.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/gtk/gtk_display_backend.h"
#include "platform/wayland/input_route.h"
#include "platform/wayland/portal/global_shortcuts.h"
#include "platform/wayland/portal/portal.h"
#include "platform/wayland/portal_input.h"
#include "platform/wayland/wayland_input.h"
#include "platform/wayland/wlr/wlr_way.h"

namespace platform::wayland {

// Whether GTK runs on a Wayland display.
bool IsWaylandDisplay();

class WaylandBackend : public gtk::DisplayBackend, private InputRoute::Driver, private WayInUse {
 public:
  WaylandBackend();
  ~WaylandBackend() override;

  gtk::HotkeyLatches& Hotkeys() override { return hotkeys_; }
  void Attach(GtkWidget* window) override;
  std::unique_ptr<InputDevice> OpenInput() override;
  bool InputAllowed() override;
  std::string AboutSession() override;

 private:
  void AskForSession() override { portalInput_.Ask(portalVersion_); }
  void LetPresses(bool keep) override { hotkeys_.Let(keep); }
  void ReportLoss(std::int64_t code, const std::string& reason) override;
  void Tell(InputRoute::State state, const std::string& why) override;
  PointerWay* Way() override;
  PointerReader* Reader() override;

  gtk::HotkeyLatches hotkeys_;
  Portal portal_;
  Shortcuts shortcuts_;
  std::unique_ptr<WlrWay> wlr_;  // where the compositor has the wlroots virtual pointer
  InputRoute route_;
  PortalInput portalInput_;
  std::uint32_t portalVersion_ = 0;
};

}  // namespace platform::wayland
