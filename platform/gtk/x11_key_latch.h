// The Windows rule for a hotkey, kept per key: "down now and pressed since the previous read".
// Fed by key events, so reading it costs nothing.
// Implemented: the whole rule, auto-repeat included. Not possible here: nothing left out.
#pragma once

namespace platform::gtk {

class KeyLatch {
 public:
  // A press while the key is already down is auto-repeat, not a new press.
  void Press() {
    if (down_) return;
    down_ = true;
    pressed_ = true;
  }
  void Release() { down_ = false; }
  // A held key counts once; a press already released before the read does not count.
  bool Read() {
    const bool counts = down_ && pressed_;
    pressed_ = false;
    return counts;
  }

 private:
  bool down_ = false;
  bool pressed_ = false;
};

}  // namespace platform::gtk
