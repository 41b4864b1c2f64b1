// How a click reaches the desktop, and how F7 learns where the pointer is: one PointerWay per
// way of clicking (libei, the portal's Notify calls, the wlroots virtual pointer) and one
// PointerReader per source of the pointer's position (the screen casts' cursor metadata, the
// wlroots overlay). Coordinates are the desktop's logical ones, as GDK gives its monitors.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "platform/input_device.h"

namespace platform::wayland {

// Codes of the InputErrors the Wayland ways raise; the text says the rest.
enum Failure : std::int64_t {
  kNoPortal = 1, kNoRemoteDesktop, kDenied, kRefused, kNoPointer, kClosed, kCallFailed, kUnreachable, kUnreadable
};

class PointerWay {
 public:
  virtual ~PointerWay() = default;
  // False where this tick cannot move now (the desktop paused the device for a moment): the
  // tick is skipped. Throws InputError where the point cannot be reached.
  virtual bool Move(double x, double y) = 0;
  virtual void Click(int button, int times) = 0;  // evdev button code (BTN_LEFT...)
  virtual void Scroll(int steps) = 0;             // wheel steps; positive: down
  // A step there and back: the pointer stays, and whoever watches it move hears of it.
  virtual void Nudge() {}
};

class PointerReader {
 public:
  virtual ~PointerReader() = default;
  // Where the pointer is, once known: nothing yet (read again at the next poll); `way` may
  // nudge the pointer so the desktop reports it. Throws PointerUnreadable where it never can.
  virtual std::optional<std::pair<int, int>> ReadPointer(PointerWay& way) = 0;
  // A run moved the pointer there.
  virtual void Moved(double /*x*/, double /*y*/) {}
};

// F7's source where the desktop tells no client where the pointer is: says why, each time.
class UnreadablePointer : public PointerReader {
 public:
  explicit UnreadablePointer(std::string why) : why_(std::move(why)) {}
  std::optional<std::pair<int, int>> ReadPointer(PointerWay&) override { throw PointerUnreadable(kUnreadable, why_); }

 private:
  std::string why_;
};

// What a way or reader of a portal session tells the one who made it. Both may destroy the
// teller: nothing of it is touched after.
class WayEvents {
 public:
  virtual ~WayEvents() = default;
  virtual void WayReady() = 0;
  virtual void WayLost(std::int64_t code, const std::string& reason) = 0;
};

}  // namespace platform::wayland
