// The three global hotkeys, heard whichever application has the keyboard focus.
#pragma once

namespace platform {

enum class Hotkey { F5, F6, F7 };

class Keyboard {
 public:
  virtual ~Keyboard() = default;
  // True when the key is down now and was pressed since the previous read of it: a held key
  // counts once, and a press already released before the read does not count.
  virtual bool Pressed(Hotkey key) = 0;
};

}  // namespace platform
