// The pointer on wlroots compositors (sway, Hyprland, river...), which have no RemoteDesktop
// portal: one zwlr_virtual_pointer_v1 device for the whole session (a device made per event
// delivers nothing), driven like a real mouse. Moves are absolute in the output layout, in the
// desktop's logical coordinates as GDK's monitors give them (GDK takes them from xdg-output).
//
// Bound on GTK's own wl_display: the device sends requests only and has no events, so a
// second connection would be a socket nobody reads; on one connection our requests also stay
// in order with GTK's. The probe's round trip runs on a queue of its own, so it dispatches
// none of GTK's events.
#pragma once

#include <gdk/gdk.h>

#include <memory>

struct wl_display;
struct zwlr_virtual_pointer_manager_v1;
struct zwlr_virtual_pointer_v1;

namespace platform::wayland {

class VirtualPointer {
 public:
  // Null where the compositor offers no zwlr_virtual_pointer_manager_v1.
  static std::unique_ptr<VirtualPointer> Open(GdkDisplay* display);
  ~VirtualPointer();
  VirtualPointer(const VirtualPointer&) = delete;
  VirtualPointer& operator=(const VirtualPointer&) = delete;

  void Move(int x, int y);            // desktop logical coordinates
  void Click(int button, int times);  // evdev button code (BTN_LEFT...)
  void Scroll(int steps);             // wheel steps; positive: down
  // A motion of nothing: the compositor looks again which surface is under the pointer.
  void Nudge();

 private:
  VirtualPointer(wl_display* display, zwlr_virtual_pointer_manager_v1* manager);
  void Frame();

  wl_display* display_;
  zwlr_virtual_pointer_manager_v1* manager_;
  zwlr_virtual_pointer_v1* device_;  // the default seat's; one for the whole session
};

}  // namespace platform::wayland
