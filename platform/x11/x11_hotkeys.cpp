#include "platform/x11/x11_hotkeys.h"

#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>
#include <X11/keysym.h>
#include <gdk/gdkx.h>

namespace platform::x11 {
X11Hotkeys::X11Hotkeys() : display_(OpenDisplay()) {
  GdkDisplay* gdk = gdk_display_get_default();
  Display* mapping = display_ != nullptr ? display_.get()
                     : gdk != nullptr && GDK_IS_X11_DISPLAY(gdk) ? gdk_x11_display_get_xdisplay(gdk) : nullptr;
  const KeySym keys[] = {XK_F5, XK_F6, XK_F7};
  for (int i = 0; mapping != nullptr && i < 3; ++i) keycodes_[i] = XKeysymToKeycode(mapping, keys[i]);

  if (gdk != nullptr) {
    gdk_window_add_filter(nullptr, &X11Hotkeys::OnOwnWindowEvent, this);
    filtering_ = true;
  }
  if (display_ == nullptr || !SelectRawKeys()) {
    display_.reset();  // the keys of Tapwing's own windows still count
    return;
  }
  watch_ = gtk::WatchFd(ConnectionNumber(display_.get()), &X11Hotkeys::OnReadable, this, false);
  Drain();
}

X11Hotkeys::~X11Hotkeys() {
  if (filtering_) gdk_window_remove_filter(nullptr, &X11Hotkeys::OnOwnWindowEvent, this);
  watch_.reset();
}

bool X11Hotkeys::SelectRawKeys() {
  Display* display = display_.get();
  int event = 0, error = 0;
  if (!XQueryExtension(display, "XInputExtension", &opcode_, &event, &error)) return false;
  int major = 2, minor = 2;
  if (XIQueryVersion(display, &major, &minor) != Success) return false;
  unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
  XISetMask(bits, XI_RawKeyPress);
  XISetMask(bits, XI_RawKeyRelease);
  XIEventMask mask{XIAllMasterDevices, static_cast<int>(sizeof bits), bits};
  if (XISelectEvents(display, DefaultRootWindow(display), &mask, 1) != Success) return false;
  XSync(display, False);
  return true;
}

void X11Hotkeys::Hear(GtkWidget* window) {
  if (gtk_widget_get_realized(window))
    SelectCoreKeys(window, nullptr);
  else
    g_signal_connect(window, "realize", G_CALLBACK(&X11Hotkeys::SelectCoreKeys), nullptr);
}

void X11Hotkeys::SelectCoreKeys(GtkWidget* window, gpointer) {
  GdkWindow* gdk = gtk_widget_get_window(window);
  if (gdk == nullptr || !GDK_IS_X11_WINDOW(gdk)) return;
  Display* display = GDK_WINDOW_XDISPLAY(gdk);
  const Window xid = GDK_WINDOW_XID(gdk);
  XWindowAttributes attributes{};
  if (!XGetWindowAttributes(display, xid, &attributes)) return;
  XSelectInput(display, xid, attributes.your_event_mask | KeyPressMask | KeyReleaseMask);
}

void X11Hotkeys::OnKey(unsigned keycode, bool down) {
  constexpr Hotkey keys[] = {Hotkey::F5, Hotkey::F6, Hotkey::F7};
  for (int i = 0; i < 3; ++i) {
    if (keycodes_[i] != keycode || keycode == 0) continue;
    down ? Press(keys[i]) : Release(keys[i]);
  }
}

// Xlib may already hold events it read with an earlier reply, so take all it has.
void X11Hotkeys::Drain() {
  Display* display = display_.get();
  while (XPending(display) > 0) {
    XEvent event;
    XNextEvent(display, &event);
    XGenericEventCookie* cookie = &event.xcookie;
    if (cookie->type != GenericEvent || cookie->extension != opcode_) continue;
    if (!XGetEventData(display, cookie)) continue;
    if (cookie->evtype == XI_RawKeyPress || cookie->evtype == XI_RawKeyRelease) {
      const auto* raw = static_cast<const XIRawEvent*>(cookie->data);
      OnKey(static_cast<unsigned>(raw->detail), cookie->evtype == XI_RawKeyPress);
    }
    XFreeEventData(display, cookie);
  }
}

gboolean X11Hotkeys::OnReadable(gint, GIOCondition, gpointer self) {
  static_cast<X11Hotkeys*>(self)->Drain();
  return G_SOURCE_CONTINUE;
}

// GDK itself reads real keys through XInput2 where the server has it, so a core key event here
// is either sent by another client or comes from a server without XInput2. With raw events
// coming in, only the sent ones are news.
GdkFilterReturn X11Hotkeys::OnOwnWindowEvent(GdkXEvent* xevent, GdkEvent*, gpointer data) {
  const auto* event = static_cast<const XEvent*>(xevent);
  if (event->type != KeyPress && event->type != KeyRelease) return GDK_FILTER_CONTINUE;
  auto* self = static_cast<X11Hotkeys*>(data);
  if (self->Global() && !event->xkey.send_event) return GDK_FILTER_CONTINUE;
  self->OnKey(event->xkey.keycode, event->type == KeyPress);
  return GDK_FILTER_CONTINUE;  // the focused control still gets the key
}

}  // namespace platform::x11
