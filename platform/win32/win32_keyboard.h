// The hotkeys on Windows: GetAsyncKeyState, bound at its first call, read with the rule that a
// key counts when its state is exactly 0x8001: down now (bit 15) and pressed since the previous
// query (bit 0, kept by the system once per key for the whole session). 0x8000 (held, no new
// press) and 0x0001 (pressed and already released) do not count. Builds without <windows.h>.
#pragma once

#include "platform/keyboard.h"

namespace platform::win32 {

class Win32Keyboard : public Keyboard {
 public:
  bool Pressed(Hotkey key) override;
};

}  // namespace platform::win32
