// F5, F6 and F7 as desktop-wide shortcuts through the GlobalShortcuts portal (KDE Plasma 5.27+,
// GNOME 48+, Hyprland). Activated and Deactivated feed the same hotkey rule as X11's key events,
// so a held F5 counts once; a portal that never says Deactivated makes every Activated a press,
// except GNOME's repeats of a held key.
// Where the portal lacks the interface, one line on stderr says so; the keys then work while
// Tapwing's own window has the focus.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "platform/gtk/gtk_hotkey_command.h"
#include "platform/gtk/gtk_hotkeys.h"
#include "platform/wayland/portal/portal.h"

namespace platform::wayland {

class Shortcuts {
 public:
  Shortcuts(Portal& portal, gtk::HotkeyLatches& keys);
  // Asks the portal for the shortcuts; the answer comes later.
  void Bind();
  // Asks nothing: the desktop binds the keys to `tapwing --hotkey` itself. Says so once.
  void LeaveToDesktop();

 private:
  void Register();
  void CreateSession();
  void BindShortcuts();
  void OnActivated(GVariant* parameters, bool down);
  void Report(const std::string& what);

  Portal& portal_;
  gtk::HotkeyLatches& keys_;
  std::string session_;
  std::array<bool, 3> held_{};  // Activated, and no Deactivated since
  std::array<std::uint64_t, 3> lastActivated_{};  // each shortcut's last Activated, in ms
};

}  // namespace platform::wayland
