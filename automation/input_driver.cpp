#include "automation/input_driver.h"

#include <cmath>
#include <cstdio>

#include "platform/errors.h"
#include "platform/services.h"

namespace automation {
namespace {

void Check(abi::Status status) {
  if (status < 0) throw platform::ComError(status);
}

}  // namespace

InputDriver::InputDriver(platform::Services& system)
    : object_(static_cast<abi::Object*>(system.CreateObject(abi::kClassId, abi::kInterfaceId))) {}

InputDriver::~InputDriver() { object_->table->Release(object_); }

void InputDriver::Call(abi::ActionFn operation) {
  std::int32_t result = 0;
  Check(operation(object_, &result));
}

void InputDriver::ClickLeft() { Call(object_->table->ClickLeft); }
void InputDriver::ClickRight() { Call(object_->table->ClickRight); }
void InputDriver::ClickMiddle() { Call(object_->table->ClickMiddle); }
void InputDriver::DoubleClickLeft() { Call(object_->table->DoubleClickLeft); }
void InputDriver::WheelUp() { Call(object_->table->WheelUp); }
void InputDriver::WheelDown() { Call(object_->table->WheelDown); }

void InputDriver::MoveCursor(std::int32_t x, std::int32_t y) {
  std::int32_t result = 0;
  Check(object_->table->MoveCursor(object_, x, y, &result));
}

void InputDriver::ReadCursor(Variant& x, Variant& y) {
  std::int32_t result = 0;
  Check(object_->table->ReadCursor(object_, &x, &y, &result));
}

std::string ToDecimalText(const Variant& value, std::string_view decimalSeparator) {
  switch (value.vt) {
    case abi::VT_I1: return std::to_string(static_cast<std::int8_t>(value.lVal & 0xFF));
    case abi::VT_UI1: return std::to_string(value.ulVal & 0xFF);
    case abi::VT_I2: return std::to_string(value.iVal);
    case abi::VT_UI2: return std::to_string(value.ulVal & 0xFFFF);
    case abi::VT_I4:
    case abi::VT_INT: return std::to_string(value.lVal);
    case abi::VT_UI4:
    case abi::VT_UINT: return std::to_string(value.ulVal);
    case abi::VT_I8: return std::to_string(value.llVal);
    case abi::VT_UI8: return std::to_string(static_cast<std::uint64_t>(value.llVal));
    case abi::VT_R4:
    case abi::VT_R8: {
      const double number = value.vt == abi::VT_R4 ? value.fltVal : value.dblVal;
      if (!std::isfinite(number)) return {};
      // Plain notation with the user's separator, so the coordinate fields accept it.
      char text[400];
      std::snprintf(text, sizeof text, "%.6f", number);
      std::string digits = text;
      digits.erase(digits.find_last_not_of('0') + 1);
      if (digits.back() == '.') digits.pop_back();
      if (const auto point = digits.find('.'); point != std::string::npos)
        digits.replace(point, 1, decimalSeparator);
      return digits;
    }
    default: return {};
  }
}

}  // namespace automation
