// Text conversions between UTF-8, UTF-16 and character counts.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "platform/text.h"

using namespace platform;

TEST(Text, RoundTripsChineseAndAstralCharacters) {
  const std::string text = "延时10MS 🖱";
  const std::u16string wide = ToUtf16(text);
  EXPECT_EQ(wide, u"延时10MS 🖱");
  EXPECT_EQ(ToUtf8(wide), text);
}

TEST(Text, MalformedInputBecomesReplacementCharacters) {
  EXPECT_EQ(ToUtf16("a\xff" "b"), u"a\uFFFDb");
  EXPECT_EQ(ToUtf16("\xe5\x9d"), u"\uFFFD\uFFFD");          // truncated sequence
  EXPECT_EQ(ToUtf16("\xc0\xaf"), u"\uFFFD\uFFFD");          // overlong
  EXPECT_EQ(ToUtf16("\xed\xa0\x80"), u"\uFFFD\uFFFD\uFFFD");  // encoded surrogate
  EXPECT_EQ(ToUtf8(u"x\xD800y"), "x\xEF\xBF\xBDy");          // lone surrogate
}

TEST(Text, CountsAndCutsCharactersAsTheSystemDoes) {
  EXPECT_EQ(CountChars("延时10MS"), 6u);
  EXPECT_EQ(MidChars("延时10000MS", 2, 5), "10000");
  EXPECT_EQ(MidChars("延时", 2, 0), "");
  EXPECT_EQ(MidChars("ab", 5, 3), "");
  EXPECT_EQ(CountChars("🖱"), 2u);  // a surrogate pair
  EXPECT_EQ(MidChars("ab", 1, SIZE_MAX), "b");  // first + count would wrap
  // A pair cut by either end is left out whole, at both ends alike.
  EXPECT_EQ(MidChars("🖱x", 1, 2), "x");
  EXPECT_EQ(MidChars("x🖱", 0, 2), "x");
  EXPECT_EQ(MidChars("x🖱y", 0, 3), "x🖱");
}
