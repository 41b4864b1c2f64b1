#include "window/number_text.h"

#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace number_text {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::size_t SkipDigits(std::string_view text, std::size_t pos) {
  while (pos < text.size() && IsDigit(text[pos])) ++pos;
  return pos;
}

}  // namespace

std::optional<double> ToDouble(std::string_view text, std::string_view decimalSeparator) {
  const auto first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return std::nullopt;
  text = text.substr(first, text.find_last_not_of(' ') - first + 1);

  bool negative = false;
  if (text.front() == '-' || text.front() == '+') {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }

  // Check the grammar and rewrite it with "." for from_chars, which ignores the locale.
  const std::size_t integerEnd = SkipDigits(text, 0);
  std::string plain(text.substr(0, integerEnd));
  std::size_t pos = integerEnd;
  bool fractionDigits = false;
  if (!decimalSeparator.empty() && text.substr(pos).starts_with(decimalSeparator)) {
    pos += decimalSeparator.size();
    const std::size_t fractionEnd = SkipDigits(text, pos);
    fractionDigits = fractionEnd > pos;
    plain += '.';
    plain.append(text.substr(pos, fractionEnd - pos));
    pos = fractionEnd;
  }
  if (pos != text.size() || (integerEnd == 0 && !fractionDigits)) return std::nullopt;
  if (plain.back() == '.') plain.pop_back();
  if (plain.front() == '.') plain.insert(0, 1, '0');

  double value = 0.0;
  const auto [end, error] = std::from_chars(plain.data(), plain.data() + plain.size(), value,
                                            std::chars_format::fixed);
  if (end != plain.data() + plain.size()) return std::nullopt;
  if (error == std::errc::result_out_of_range) {
    // Too large, or too small to represent: only a non-zero integer part makes it too large.
    if (plain.find_first_not_of('0') < plain.find('.')) return std::nullopt;
    value = 0.0;
  } else if (error != std::errc{}) {
    return std::nullopt;
  }
  return negative ? -value : value;
}

std::optional<std::int32_t> ToInt32(std::string_view text, std::string_view decimalSeparator) {
  const auto value = ToDouble(text, decimalSeparator);
  if (!value) return std::nullopt;
  // The default rounding mode rounds halves to even.
  const double rounded = std::nearbyint(*value);
  if (rounded < -2147483648.0 || rounded > 2147483647.0) return std::nullopt;
  return static_cast<std::int32_t>(rounded);
}

}  // namespace number_text
