// The device that reads and moves the pointer and makes button and wheel input for the run.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace platform {

// The device could not be opened or an operation failed. `Code` is the system's error code;
// the text is the whole message for the user, naming the device and the reason.
class InputError : public std::runtime_error {
 public:
  InputError(std::int64_t code, const std::string& text) : std::runtime_error(text), code_(code) {}
  std::int64_t Code() const { return code_; }

 private:
  std::int64_t code_;
};

// The failure text every backend shows: "输入组件 <device> 不可用" and what went wrong, either
// ": <reason>" or ",错误代码: 0x<code>".
// The pointer's position cannot be known here at all: the desktop tells no client where it is.
// The text says so, and why, for the user.
class PointerUnreadable : public InputError {
 public:
  using InputError::InputError;
};

InputError DeviceUnavailable(std::int64_t code, std::string_view device, std::string_view reason);
InputError DeviceFailedWithCode(std::int64_t code, std::string_view device);

// Every operation throws InputError on failure. Coordinates are screen pixels, the same space
// for reading and moving, so a point read and fed back lands on the same spot.
class InputDevice {
 public:
  virtual ~InputDevice() = default;
  // The pointer's position as decimal texts in the user's notation, ready for the fields. False,
  // with nothing written, while the position is not known yet (a desktop that reports the
  // pointer only once it moves: asking may make it report). Throws PointerUnreadable where it
  // can never be known.
  virtual bool ReadCursor(std::string& x, std::string& y) = 0;
  virtual void MoveCursor(std::int32_t x, std::int32_t y) = 0;
  // Each at wherever the pointer is.
  virtual void ClickLeft() = 0;
  virtual void ClickRight() = 0;
  virtual void ClickMiddle() = 0;
  virtual void DoubleClickLeft() = 0;
  virtual void WheelUp() = 0;
  virtual void WheelDown() = 0;
};

}  // namespace platform
