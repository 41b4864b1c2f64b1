// F5, F6 and F7 heard whichever X11 window has the focus, without grabbing them.
//
// Implemented: XInput2 raw key events selected on the root window over a private X connection,
// watched from the GLib loop; key events X delivers to Tapwing's own windows (synthetic ones
// included, seen through a GDK filter before GTK translates them) count too, so the keys also
// work while Tapwing is focused on a server without XInput2 and when a test sends them with
// XSendEvent (xdotool key --window). Reading a key makes no X request.
// Not possible here: keys of another X server or of a Wayland-native window (XWayland sees only
// its own clients' keys).
#pragma once

#include <gtk/gtk.h>

#include <array>

#include "platform/gtk/gtk_handles.h"
#include "platform/gtk/gtk_hotkeys.h"
#include "platform/x11/x11_display.h"

namespace platform::x11 {

class X11Hotkeys : public gtk::HotkeyLatches {
 public:
  X11Hotkeys();
  ~X11Hotkeys() override;
  X11Hotkeys(const X11Hotkeys&) = delete;
  X11Hotkeys& operator=(const X11Hotkeys&) = delete;

  // Makes `window` take key events that other clients send it (XSendEvent). GDK reads keys
  // through XInput2 and leaves the core key masks unselected, so X would deliver them to nobody.
  void Hear(GtkWidget* window);
  // Whether XInput2 raw events are coming in (else only the window's own keys count).
  bool Global() const { return display_ != nullptr; }

 private:
  bool SelectRawKeys();
  void Drain();
  void OnKey(unsigned keycode, bool down);
  static gboolean OnReadable(gint fd, GIOCondition condition, gpointer self);
  static GdkFilterReturn OnOwnWindowEvent(GdkXEvent* xevent, GdkEvent* event, gpointer self);
  static void SelectCoreKeys(GtkWidget* window, gpointer unused);

  DisplayPtr display_;
  int opcode_ = 0;
  std::array<unsigned, 3> keycodes_{};  // F5, F6, F7; one server, so one mapping for every connection
  gtk::GSourcePtr watch_;
  bool filtering_ = false;
};

}  // namespace platform::x11
