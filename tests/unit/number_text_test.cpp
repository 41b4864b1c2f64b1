// The numeric test and the conversion of the coordinate fields.
#include <gtest/gtest.h>

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

// Random texts over the grammar's alphabet: never a crash, and whatever the test accepts
// converts (or is cleanly out of range) and agrees with the grammar's shape.
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
    if (*value > -2147483648.5 && *value < 2147483647.5) {
      ASSERT_TRUE(integer) << text;
      EXPECT_LE(std::abs(*integer - *value), 0.5) << text;
    }
  }
}
