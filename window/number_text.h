// Numbers in the coordinate fields: the numeric test and the conversion to a screen coordinate.
//
// Accepted grammar (nothing else is a number):
//
//   number    = [spaces] ["-" | "+"] mantissa [spaces]
//   mantissa  = digits [separator [digits]]  |  separator digits
//   digits    = one or more of "0".."9"
//   separator = the user's decimal separator (from the locale; "." or "," typically)
//   spaces    = one or more U+0020
//
// So "-120", "12.5", "5." and ".5" are numbers; "", "X坐标", "-", "1.2.3", "1e3", "1,000" (with a
// "." separator) and "0x10" are not. A value too large for a double is not a number; one too
// small to represent reads as 0.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace number_text {

std::optional<double> ToDouble(std::string_view text, std::string_view decimalSeparator);

inline bool IsNumeric(std::string_view text, std::string_view decimalSeparator) {
  return ToDouble(text, decimalSeparator).has_value();
}

// Rounds to the nearest integer, halves to the even neighbour ("12.5" -> 12, "13.5" -> 14).
// Empty when the text is not a number or the result leaves the 32-bit range.
std::optional<std::int32_t> ToInt32(std::string_view text, std::string_view decimalSeparator);

}  // namespace number_text
