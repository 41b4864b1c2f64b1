// One way of moving and clicking the desktop's pointer: the portal session (its clicks as
// Notify calls or through libei) or the wlroots virtual pointer. Coordinates are the desktop's
// logical ones, as GDK gives its monitors.
#pragma once

#include <optional>
#include <utility>

namespace platform::wayland {

class PointerWay {
 public:
  virtual ~PointerWay() = default;
  // Where the pointer is, where this way knows it now.
  virtual std::optional<std::pair<int, int>> ReadPointer() = 0;
  // Throws InputError where the point cannot be reached: that tick's action is then skipped.
  virtual void Move(double x, double y) = 0;
  virtual void Click(int button, int times) = 0;  // evdev button code (BTN_LEFT...)
  virtual void Scroll(int steps) = 0;             // wheel steps; positive: down
};

}  // namespace platform::wayland
