// F5, F6 and F7 as the form reads them, kept by the Windows rule "down now and pressed since the
// previous read". Whatever hears the keys feeds them in: the X server's raw events, a desktop
// portal's shortcuts, or the form window's own key events. Reading costs nothing.
// Implemented: the whole rule, auto-repeat included, and a wake-up call for a sleeping poll.
#pragma once

#include <gtk/gtk.h>

#include <array>
#include <functional>
#include <utility>

#include "platform/keyboard.h"

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
  // The key came up as reported by someone who may report a press and its release together
  // (a desktop's shortcut signals, dispatched in one batch): a press not read yet still counts.
  void Lift() {
    if (pressed_) tapped_ = true;
    down_ = false;
  }
  // A press and release delivered as one (a desktop shortcut running `tapwing --hotkey F5`):
  // it stays down for the next read.
  void Tap() {
    pressed_ = true;
    tapped_ = true;
  }
  // A held key counts once; a press already released before the read does not count.
  bool Read() {
    const bool counts = (down_ || tapped_) && pressed_;
    pressed_ = false;
    tapped_ = false;
    return counts;
  }
  // A press the next read has yet to see.
  bool Pending() const { return pressed_; }
  // Forgets a press not read yet.
  void Drop() {
    pressed_ = false;
    tapped_ = false;
  }

 private:
  bool down_ = false;
  bool pressed_ = false;
  bool tapped_ = false;
};

class HotkeyLatches : public Keyboard {
 public:
  bool Pressed(Hotkey key) override { return !held_ && latches_[Index(key)].Read(); }
  void Press(Hotkey key);
  void Release(Hotkey key) { latches_[Index(key)].Release(); }
  void Lift(Hotkey key) { latches_[Index(key)].Lift(); }
  void Tap(Hotkey key);
  // Some press of F5, F6 or F7 waits for its read.
  bool Pending() const;
  // While the display backend cannot act on a press yet (it is still finding out how to reach
  // the desktop), presses wait instead of being read, as taps so a quick release keeps them.
  void Hold() { held_ = true; }
  // Ends a Hold: the waiting presses count at the next read (keep), or are forgotten.
  void Let(bool keep);
  // Called on every new press, so a poll that sleeps at rest can wake.
  void OnPress(std::function<void()> callback) { onPress_ = std::move(callback); }
  // F5, F6 and F7 pressed while `window` has the keyboard focus count too: where nothing hears
  // them globally, that is how they still work.
  void HearWindowKeys(GtkWidget* window);

 private:
  static int Index(Hotkey key) { return static_cast<int>(key); }
  static gboolean OnWindowKey(GtkWidget* window, GdkEventKey* event, gpointer self);
  static gboolean OnWindowLeft(GtkWidget* window, GdkEventFocus* event, gpointer self);

  std::array<KeyLatch, 3> latches_;
  std::function<void()> onPress_;
  bool held_ = false;
};

}  // namespace platform::gtk
