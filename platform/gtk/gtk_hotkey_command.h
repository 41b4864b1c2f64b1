// Hotkeys from the command line, for desktops that give programs no global keys (wlroots, GNOME
// before 48): the running Tapwing exports the action "hotkey" on the session bus as application
// org.tapwing.Tapwing, and `tapwing --hotkey F5` delivers one press to it, as does
// `gapplication action org.tapwing.Tapwing hotkey "'F5'"`. A desktop binds its keys to those.
// Implemented: both sides; the sending side never becomes an instance itself.
#pragma once

#include <gio/gio.h>

#include <optional>
#include <string_view>

#include "platform/gtk/gtk_hotkeys.h"

namespace platform::gtk {

inline constexpr const char* kApplicationId = "org.tapwing.Tapwing";

// "F5", "f6"...: the key, whatever the case.
std::optional<Hotkey> ParseHotkey(std::string_view name);

// The running side: each delivered press counts once, at the next poll.
class HotkeyCommands {
 public:
  explicit HotkeyCommands(HotkeyLatches& keys);  // without a session bus: nothing, silently
  ~HotkeyCommands();
  HotkeyCommands(const HotkeyCommands&) = delete;
  HotkeyCommands& operator=(const HotkeyCommands&) = delete;

 private:
  static void OnHotkey(GSimpleAction* action, GVariant* parameter, gpointer self);

  HotkeyLatches& keys_;
  GApplication* application_ = nullptr;
};

// The sending side: the exit status for `tapwing --hotkey NAME`, 0 once delivered; says on
// stderr why not.
int SendHotkey(std::string_view name);

}  // namespace platform::gtk
