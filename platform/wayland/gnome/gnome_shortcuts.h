// F5, F6 and F7 as GNOME custom shortcuts running `tapwing --hotkey KEY`: for GNOME before 48,
// whose portal has no GlobalShortcuts. Written only when the user asks (`tapwing
// --setup-shortcuts`), taken out again with `--remove-shortcuts`; each says what it did.
#pragma once

#include <optional>
#include <string>

namespace platform::wayland {

// The command a shortcut runs for `key`; nothing where the program's path is not UTF-8, which
// GSettings cannot hold.
std::optional<std::string> ShortcutCommand(const std::string& program, const char* key);

// Exit statuses: 0 done, 1 where GNOME's shortcut settings are not installed or the program's
// path cannot be written there.
int SetUpGnomeShortcuts();
int RemoveGnomeShortcuts();

}  // namespace platform::wayland
