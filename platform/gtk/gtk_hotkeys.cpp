#include "platform/gtk/gtk_hotkeys.h"

namespace platform::gtk {

void HotkeyLatches::Press(Hotkey key) {
  KeyLatch& latch = latches_[Index(key)];
  const bool wasPending = latch.Pending();
  latch.Press();
  if (held_) {
    if (latch.Pending()) latch.Tap();
    return;
  }
  if (!wasPending && latch.Pending() && onPress_) onPress_();
}

void HotkeyLatches::Tap(Hotkey key) {
  latches_[Index(key)].Tap();
  if (!held_ && onPress_) onPress_();
}

void HotkeyLatches::Let(bool keep) {
  if (!held_) return;
  held_ = false;
  if (!keep) {
    for (KeyLatch& latch : latches_) latch.Drop();
  } else if (Pending() && onPress_) {
    onPress_();
  }
}

bool HotkeyLatches::Pending() const {
  if (held_) return false;
  for (const KeyLatch& latch : latches_) {
    if (latch.Pending()) return true;
  }
  return false;
}

void HotkeyLatches::HearWindowKeys(GtkWidget* window) {
  g_signal_connect(window, "key-press-event", G_CALLBACK(&HotkeyLatches::OnWindowKey), this);
  g_signal_connect(window, "key-release-event", G_CALLBACK(&HotkeyLatches::OnWindowKey), this);
  g_signal_connect(window, "focus-out-event", G_CALLBACK(&HotkeyLatches::OnWindowLeft), this);
}

// A key held as the focus leaves the window is released where the window never hears it: were
// it kept down, the key's next press would be taken for its auto-repeat.
gboolean HotkeyLatches::OnWindowLeft(GtkWidget*, GdkEventFocus*, gpointer data) {
  auto* self = static_cast<HotkeyLatches*>(data);
  for (KeyLatch& latch : self->latches_) latch.Release();
  return FALSE;
}

gboolean HotkeyLatches::OnWindowKey(GtkWidget*, GdkEventKey* event, gpointer data) {
  auto* self = static_cast<HotkeyLatches*>(data);
  Hotkey key;
  switch (event->keyval) {
    case GDK_KEY_F5: key = Hotkey::F5; break;
    case GDK_KEY_F6: key = Hotkey::F6; break;
    case GDK_KEY_F7: key = Hotkey::F7; break;
    default: return FALSE;
  }
  event->type == GDK_KEY_PRESS ? self->Press(key) : self->Release(key);
  return FALSE;  // the focused control still gets the key
}

}  // namespace platform::gtk
