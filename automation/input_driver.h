// The program's binding to the input automation component (korva.dll): one object, reached
// through its function table only. Every operation throws platform::ComError on a failure
// status; results are ignored.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "automation/input_driver_abi.h"

namespace platform {
class Services;
}

namespace automation {

using Variant = abi::Variant;

class InputDriver {
 public:
  // Creates the component object; throws platform::ComError when it cannot.
  explicit InputDriver(platform::Services& system);
  ~InputDriver();
  InputDriver(const InputDriver&) = delete;
  InputDriver& operator=(const InputDriver&) = delete;

  void ClickLeft();
  void ClickRight();
  void ClickMiddle();
  void DoubleClickLeft();
  void MoveCursor(std::int32_t x, std::int32_t y);
  void WheelUp();
  void WheelDown();
  void ReadCursor(Variant& x, Variant& y);

 private:
  void Call(abi::ActionFn operation);

  abi::Object* object_;
};

// A variant's value as decimal text, as the coordinate fields take it; empty for an empty or
// non-numeric variant.
std::string ToDecimalText(const Variant& value, std::string_view decimalSeparator);

}  // namespace automation
