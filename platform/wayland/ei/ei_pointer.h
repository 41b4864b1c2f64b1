// The pointer through libei, on the socket the RemoteDesktop portal's ConnectToEIS gives: a
// sender context dispatched on the GLib main loop. It binds the seat's absolute pointer, button
// and scroll capabilities and keeps the devices that offer them (one or several); each resumed
// device starts emulating with a sequence number of its own. Moves go to the device whose
// region holds the point (else the nearest edge), buttons and wheel steps to the device moved
// last where it can send them. Every event is followed by its own frame.
//
// Loss: the desktop disconnects, removes the seat, or removes devices so that no absolute
// pointer, button or scroll device is left once its messages are read. WayLost is then called
// once, from the main loop (never from a call into this object), and nothing is sent any more.
#pragma once

#include <memory>

#include "platform/wayland/pointer_way.h"

namespace platform::wayland {

class EiPointer {
 public:
  // Owns `fd` (closed also where the connection cannot be set up: then the loss follows).
  // WayReady is called each time Ready() turns true. Both may destroy this object.
  EiPointer(int fd, WayEvents& events);
  ~EiPointer();
  EiPointer(const EiPointer&) = delete;
  EiPointer& operator=(const EiPointer&) = delete;

  // A resumed absolute pointer with regions, a resumed button and a resumed scroll device
  // (often one device), and not lost.
  bool Ready() const;
  // Desktop logical coordinates. False where nothing can take the point (not ready, no region).
  bool Move(double x, double y);
  void Click(int button, int times);  // evdev code (BTN_LEFT 0x110...): press, frame, release, frame
  void Scroll(int steps);             // wheel steps, positive down
  // A relative step there and back, where a device offers relative motion: the pointer stays,
  // and the desktop reports it to whoever watches it move.
  void Nudge();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace platform::wayland
