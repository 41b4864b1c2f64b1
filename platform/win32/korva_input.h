// The input device on Windows: one object of our component korva.dll, reached through its
// function table only (components/korva/korva_abi.h). Every operation checks its status and
// throws platform::InputError on a failure; results are ignored. Builds without <windows.h>,
// so it is tested natively against a stand-in object.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "components/korva/korva_abi.h"
#include "platform/input_device.h"

namespace platform::win32 {

class KorvaInput : public InputDevice {
 public:
  // Takes over the one reference of `object`, a pointer to the component's interface.
  KorvaInput(korva::abi::Object* object, std::string decimalSeparator);
  ~KorvaInput() override;
  KorvaInput(const KorvaInput&) = delete;
  KorvaInput& operator=(const KorvaInput&) = delete;

  bool ReadCursor(std::string& x, std::string& y) override;
  void MoveCursor(std::int32_t x, std::int32_t y) override;
  void ClickLeft() override;
  void ClickRight() override;
  void ClickMiddle() override;
  void DoubleClickLeft() override;
  void WheelUp() override;
  void WheelDown() override;

 private:
  void Call(korva::abi::ActionFn operation);

  korva::abi::Object* object_;
  std::string decimalSeparator_;
};

// What the user reads when the component cannot be created or fails, with its status.
[[noreturn]] void ThrowKorvaFailure(korva::abi::Status status);

// A variant's value as decimal text, as the coordinate fields take it; empty for an empty or
// non-numeric variant.
std::string ToDecimalText(const korva::abi::Variant& value, std::string_view decimalSeparator);

}  // namespace platform::win32
