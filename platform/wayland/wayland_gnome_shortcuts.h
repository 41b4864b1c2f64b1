// F5, F6 and F7 as GNOME custom shortcuts running `tapwing --hotkey KEY`: for GNOME before 48,
// whose portal has no GlobalShortcuts. Written only when the user asks (`tapwing
// --setup-shortcuts`), taken out again with `--remove-shortcuts`; each says what it did.
#pragma once

namespace platform::wayland {

// Exit statuses: 0 done, 1 where GNOME's shortcut settings are not installed.
int SetUpGnomeShortcuts();
int RemoveGnomeShortcuts();

}  // namespace platform::wayland
