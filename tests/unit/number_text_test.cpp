// The numeric test and the conversion of the coordinate fields.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <random>
#include <string>

#include "window/number_text.h"

using number_text::IsNumeric;
using number_text::ToDouble;
using number_text::ToInt32;

TEST(NumberText, AcceptsDecimalIntegersAndFractionsWithAnOptionalSign) {
  for (const char* text : {"0", "7", "-120", "+5", "12.5", "-0.25", "5.", ".5", "-.5", "007", " 42 ", "  -3.0"})
    EXPECT_TRUE(IsNumeric(text, ".")) << '"' << text << '"';
  EXPECT_EQ(ToDouble("-120", "."), -120.0);
  EXPECT_EQ(ToDouble(".5", "."), 0.5);
  EXPECT_EQ(ToDouble("5.", "."), 5.0);
}

TEST(NumberText, RejectsEverythingElse) {
  for (const char* text : {"", " ", "X坐标", "Y坐标", "-", "+", ".", "-.", "1.2.3", "35a", "a35", "1e3", "1,000",
                           "0x10", "--1", "+-1", "1-", "1 2", "\t1", "1\n", "１２", "NaN", "inf", "1.5.", "\xff"})
    EXPECT_FALSE(IsNumeric(text, ".")) << '"' << text << '"';
}

TEST(NumberText, UsesTheGivenDecimalSeparator) {
  EXPECT_EQ(ToDouble("12,5", ","), 12.5);
  EXPECT_FALSE(IsNumeric("12.5", ","));
  EXPECT_EQ(ToDouble("3٫25", "٫"), 3.25);  // a multi-byte separator
  EXPECT_FALSE(IsNumeric("1,2,3", ","));
  EXPECT_TRUE(IsNumeric("12", ""));
  EXPECT_FALSE(IsNumeric("1.5", ""));
}

TEST(NumberText, RoundsHalvesToEven) {
  EXPECT_EQ(ToInt32("12.5", "."), 12);
  EXPECT_EQ(ToInt32("13.5", "."), 14);
  EXPECT_EQ(ToInt32("-12.5", "."), -12);
  EXPECT_EQ(ToInt32("-13.5", "."), -14);
  EXPECT_EQ(ToInt32("0.5", "."), 0);
  EXPECT_EQ(ToInt32("1.5", "."), 2);
  EXPECT_EQ(ToInt32("12.51", "."), 13);
  EXPECT_EQ(ToInt32("-0.4", "."), 0);
}

TEST(NumberText, IntegerConversionFailsOutsideTheRange) {
  EXPECT_EQ(ToInt32("2147483647", "."), 2147483647);
  EXPECT_EQ(ToInt32("-2147483648", "."), -2147483647 - 1);
  EXPECT_EQ(ToInt32("2147483647.4", "."), 2147483647);
  EXPECT_EQ(ToInt32("2147483647.5", "."), std::nullopt);
  EXPECT_EQ(ToInt32("2147483648", "."), std::nullopt);
  EXPECT_EQ(ToInt32("-2147483649", "."), std::nullopt);
  EXPECT_EQ(ToInt32(std::string(400, '9'), "."), std::nullopt);
  EXPECT_EQ(ToInt32("X坐标", "."), std::nullopt);
}

TEST(NumberText, ValuesBeyondADoubleAreNotNumbersButTinyOnesReadAsZero) {
  EXPECT_FALSE(IsNumeric(std::string(400, '9'), "."));
  EXPECT_EQ(ToDouble("0." + std::string(400, '0') + "1", "."), 0.0);
  EXPECT_EQ(ToDouble(std::string(300, '0') + "1", "."), 1.0);
}

TEST(NumberText, HandlesAMegabyteOfDigits) {
  const std::string digits(1 << 20, '1');
  EXPECT_FALSE(IsNumeric(digits, "."));  // far beyond a double
  EXPECT_EQ(ToDouble("0." + digits, "."), std::optional<double>(0.1111111111111111));
}

namespace {

// The rounding worked out on the decimal digits themselves, without floating point: exact for
// these short texts, so it catches a rounding fault the conversion's own double would hide.
std::optional<long long> RoundDecimalText(std::string text) {
  text.erase(0, text.find_first_not_of(' '));
  text.erase(text.find_last_not_of(' ') + 1);
  const bool negative = text[0] == '-';
  if (text[0] == '-' || text[0] == '+') text.erase(0, 1);
  const auto point = text.find('.');
  const std::string whole = text.substr(0, point);
  const std::string fraction = point == std::string::npos ? "" : text.substr(point + 1);
  if (whole.size() - std::min(whole.size(), whole.find_first_not_of('0')) > 11) return std::nullopt;
  long long magnitude = whole.empty() ? 0 : std::stoll(whole);
  const char first = fraction.empty() ? '0' : fraction[0];
  const bool restZero = fraction.size() < 2 || fraction.find_first_not_of('0', 1) == std::string::npos;
  if (first > '5' || (first == '5' && (!restZero || magnitude % 2 == 1))) ++magnitude;
  return negative ? -magnitude : magnitude;
}

}  // namespace

// Random texts over the grammar's alphabet: never a crash, whatever the test accepts has the
// grammar's shape, and its conversion agrees with the exact decimal rounding.
TEST(NumberText, RandomTextsNeverCrashAndAcceptedOnesConvert) {
  std::mt19937 random(20261208);
  const std::string alphabet = "0123456789-+., xe\xe5\x9d\x90";
  for (int round = 0; round < 50000; ++round) {
    std::string text;
    const int length = static_cast<int>(random() % 12);
    for (int i = 0; i < length; ++i) text += alphabet[random() % alphabet.size()];
    const auto value = ToDouble(text, ".");
    if (!value) {
      EXPECT_FALSE(ToInt32(text, ".")) << text;
      continue;
    }
    EXPECT_EQ(text.find_first_of("xe,\xe5\x9d\x90"), std::string::npos) << text;
    const auto integer = ToInt32(text, ".");
    const auto exact = RoundDecimalText(text);
    if (exact && *exact >= INT32_MIN && *exact <= INT32_MAX) {
      ASSERT_TRUE(integer) << text;
      EXPECT_EQ(*integer, *exact) << text;
    } else {
      EXPECT_FALSE(integer) << text;
    }
  }
}
