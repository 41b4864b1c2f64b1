// Unit tests of the Korva skin file reader (components/skin/skin_format.*).
#include "skin_format.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace tapwing::skin {
namespace {

constexpr char kFullSkin[] =
    "window.background = #1F3A3D\n"
    "window.text = #E4F1EF\n"
    "frame.border = #4E8580\n"
    "frame.caption = #8FE3D5\n"
    "field.background = #132628\n"
    "field.text = #F2FBF9\n"
    "list.background = #112233\n"
    "list.text = #445566\n"
    "selection.background = #2F8F82\n"
    "selection.text = #FFFFFF\n"
    "font.face = Microsoft YaHei UI, WenQuanYi Micro Hei\n"
    "font.size = 10.5\n";

TEST(SkinFormat, ReadsEveryKey) {
  const ParseResult r = ParseSkin(kFullSkin);
  EXPECT_EQ(r.applied, 12);
  EXPECT_EQ(r.rejected, 0);
  EXPECT_EQ(r.unknown, 0);
  const Skin& s = r.skin;
  EXPECT_EQ(s.window_background, (Rgb{0x1F, 0x3A, 0x3D}));
  EXPECT_EQ(s.window_text, (Rgb{0xE4, 0xF1, 0xEF}));
  EXPECT_EQ(s.frame_border, (Rgb{0x4E, 0x85, 0x80}));
  EXPECT_EQ(s.frame_caption, (Rgb{0x8F, 0xE3, 0xD5}));
  EXPECT_EQ(s.field_background, (Rgb{0x13, 0x26, 0x28}));
  EXPECT_EQ(s.field_text, (Rgb{0xF2, 0xFB, 0xF9}));
  EXPECT_EQ(s.list_background, (Rgb{0x11, 0x22, 0x33}));
  EXPECT_EQ(s.list_text, (Rgb{0x44, 0x55, 0x66}));
  EXPECT_EQ(s.selection_background, (Rgb{0x2F, 0x8F, 0x82}));
  EXPECT_EQ(s.selection_text, (Rgb{0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(s.font_faces, (std::vector<std::u16string>{u"Microsoft YaHei UI", u"WenQuanYi Micro Hei"}));
  EXPECT_EQ(s.font_tenths, 105);
}

TEST(SkinFormat, ShippedSkinSetsEveryKeyCleanly) {
  // The build compiles this file by its absolute path, so the asset is found beside the sources.
  const auto path = std::filesystem::path(__FILE__).parent_path() / ".." / ".." / "assets" / "Korva.Skin";
  std::ifstream in(path, std::ios::binary);
  ASSERT_TRUE(in) << path;
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const ParseResult r = ParseSkin(text);
  EXPECT_EQ(r.applied, 12);
  EXPECT_EQ(r.rejected, 0);
  EXPECT_EQ(r.unknown, 0);
  EXPECT_EQ(r.skin.font_faces.back(), u"WenQuanYi Micro Hei");  // the face Wine has
}

TEST(SkinFormat, LayoutDoesNotChangeMeaning) {
  const std::string messy =
      "\xEF\xBB\xBF# comment\r\n"
      "; another comment\r\n"
      "\r\n"
      "   \t  \r\n"
      "[section]\r\n"
      "  WINDOW.Background\t=\t#1f3a3d   \r\n"
      "window.text=#e4f1ef # trailing comment\r\n"
      "frame.border = #4E8580 ; also a comment\r\n"
      "Font.Face =  \"Microsoft YaHei UI\" ,WenQuanYi Micro Hei  \r\n"
      "font.size = 9pt";  // no final newline
  const ParseResult r = ParseSkin(messy);
  EXPECT_EQ(r.applied, 5);
  EXPECT_EQ(r.rejected, 0);
  EXPECT_EQ(r.skin.window_background, (Rgb{0x1F, 0x3A, 0x3D}));
  EXPECT_EQ(r.skin.window_text, (Rgb{0xE4, 0xF1, 0xEF}));
  EXPECT_EQ(r.skin.frame_border, (Rgb{0x4E, 0x85, 0x80}));
  EXPECT_EQ(r.skin.font_faces, (std::vector<std::u16string>{u"Microsoft YaHei UI", u"WenQuanYi Micro Hei"}));
  EXPECT_EQ(r.skin.font_tenths, 90);
}

TEST(SkinFormat, UnknownKeysAndLinesWithoutEqualsAreSkipped) {
  const ParseResult r = ParseSkin(
      "window.backgrounds = #000000\n"
      "button.face = #000000\n"
      "= #000000\n"
      "just some words\n"
      "field.text = #010203\n");
  EXPECT_EQ(r.applied, 1);
  EXPECT_EQ(r.unknown, 3);  // the empty key counts as unknown
  EXPECT_EQ(r.rejected, 1);
  EXPECT_EQ(r.skin.window_background, DefaultSkin().window_background);
  EXPECT_EQ(r.skin.field_text, (Rgb{1, 2, 3}));
}

TEST(SkinFormat, MalformedColoursKeepTheDefault) {
  for (const char* bad : {"", "#", "#12345", "#1234567", "123456", "#GG0000", "#12 345", "# 123456",
                          "rgb(1,2,3)", "##12345", "#-12345", "#1234\xC3\xA9", "red"}) {
    SCOPED_TRACE(bad);
    EXPECT_FALSE(ParseColour(bad));
    const ParseResult r = ParseSkin(std::string("window.text = ") + bad + "\n");
    EXPECT_EQ(r.applied, 0);
    EXPECT_EQ(r.skin.window_text, DefaultSkin().window_text);
  }
  EXPECT_EQ(ParseColour("#aBcDeF"), (Rgb{0xAB, 0xCD, 0xEF}));
  EXPECT_EQ(ParseColour(" #000000 "), (Rgb{0, 0, 0}));
}

TEST(SkinFormat, FontSizesOutsideTheRuleKeepTheDefault) {
  for (const char* bad : {"", "0", "5.9", "36.1", "100", "1000", "9.55", "9.", ".5", "-9", "+9", "9abc",
                          "1e1", "9,5", "nine", "9 pt pt", "99999999999999999999"}) {
    SCOPED_TRACE(bad);
    EXPECT_FALSE(ParseFontTenths(bad));
    EXPECT_EQ(ParseSkin(std::string("font.size = ") + bad).skin.font_tenths, DefaultSkin().font_tenths);
  }
  EXPECT_EQ(ParseFontTenths("6"), 60);
  EXPECT_EQ(ParseFontTenths("36"), 360);
  EXPECT_EQ(ParseFontTenths("10.5"), 105);
  EXPECT_EQ(ParseFontTenths("012"), 120);
  EXPECT_EQ(ParseFontTenths("12 PT"), 120);
}

TEST(SkinFormat, FaceListsAreCleanedEntryByEntry) {
  // Order kept, blanks and broken entries dropped, CJK names decoded.
  auto faces = ParseFaceList(" SimSun ,, \xE5\xBE\xAE\xE8\xBD\xAF\xE9\x9B\x85\xE9\xBB\x91 , \xFF\xFE, \"\" ,Arial");
  ASSERT_TRUE(faces);
  EXPECT_EQ(*faces, (std::vector<std::u16string>{u"SimSun", u"微软雅黑", u"Arial"}));

  // A face name must fit LOGFONT's 32 units with its terminator.
  const std::string longest(kMaxFaceUnits, 'a');
  faces = ParseFaceList(longest + "," + longest + "a");
  ASSERT_TRUE(faces);
  EXPECT_EQ(faces->size(), 1u);

  // Characters outside the BMP count as two units.
  faces = ParseFaceList("\xF0\x9F\x98\x80");
  ASSERT_TRUE(faces);
  EXPECT_EQ(faces->front().size(), 2u);

  std::string many;
  for (int i = 0; i < 20; ++i) many += "Face" + std::to_string(i) + ",";
  EXPECT_EQ(ParseFaceList(many)->size(), kMaxFaces);

  // Nothing usable: the key keeps its previous value.
  for (const char* bad : {"", " , , ", "\xC0\xAF", "\xED\xA0\x80", "a\tb", "\xE5\xBE"}) {
    SCOPED_TRACE(bad);
    EXPECT_FALSE(ParseFaceList(bad));
    EXPECT_EQ(ParseSkin(std::string("font.face = ") + bad).skin.font_faces, DefaultSkin().font_faces);
  }
}

TEST(SkinFormat, DuplicateKeysLastGoodValueWins) {
  const ParseResult r = ParseSkin(
      "list.text = #111111\n"
      "list.text = #222222\n"
      "list.text = #nothex\n"
      "font.size = 12\n"
      "font.size = 99\n");
  EXPECT_EQ(r.skin.list_text, (Rgb{0x22, 0x22, 0x22}));
  EXPECT_EQ(r.skin.font_tenths, 120);
  EXPECT_EQ(r.applied, 3);
  EXPECT_EQ(r.rejected, 2);
}

TEST(SkinFormat, TextWithoutAnyGoodKeyIsNoSkin) {
  EXPECT_FALSE(SkinFromText(""));
  EXPECT_FALSE(SkinFromText("\xEF\xBB\xBF"));
  EXPECT_FALSE(SkinFromText("# only a comment\n\n[section]\n"));
  EXPECT_FALSE(SkinFromText("window.text = #12\nfont.size = 0\nmystery = 1\n"));
  const auto skin = SkinFromText("window.text = #12\nfont.size = 11\n");
  ASSERT_TRUE(skin);
  EXPECT_EQ(skin->font_tenths, 110);
  EXPECT_EQ(skin->window_text, DefaultSkin().window_text);
}

TEST(SkinFormat, BinaryGarbageIsHarmless) {
  // Deterministic noise, NULs and lone CRs included: must not crash and must find no key.
  std::string noise;
  std::uint32_t x = 2463534242u;
  for (int i = 0; i < 20000; ++i) {
    x ^= x << 13, x ^= x >> 17, x ^= x << 5;
    noise.push_back(static_cast<char>(x & 0xFF));
  }
  const ParseResult r = ParseSkin(noise);
  EXPECT_EQ(r.applied, 0);
  EXPECT_FALSE(SkinFromText(noise));

  // A good line between binary ones still counts; the NULs stay inside their own lines.
  std::string mixed("\0\xFF\xFE=\x01\r\r\n", 8);
  mixed += "selection.text = #0A0B0C\n";
  mixed += std::string("font.face = A\0B\n", 16);
  const ParseResult m = ParseSkin(mixed);
  EXPECT_EQ(m.skin.selection_text, (Rgb{10, 11, 12}));
  EXPECT_EQ(m.skin.font_faces, DefaultSkin().font_faces);
}

TEST(SkinFormat, LongLinesAndLargeTextsAreRefused) {
  const std::string key = "window.text = #010203";
  // Padding with spaces keeps the line valid up to the cap and no further.
  const std::string at_cap = key + std::string(kMaxLineBytes - key.size(), ' ');
  EXPECT_EQ(ParseSkin(at_cap + "\n").applied, 1);
  EXPECT_EQ(ParseSkin(at_cap + "\r\n").applied, 1);  // the CR does not count
  const ParseResult over = ParseSkin(at_cap + " \nfield.text = #040506\n");
  EXPECT_EQ(over.applied, 1);
  EXPECT_EQ(over.rejected, 1);
  EXPECT_EQ(over.skin.window_text, DefaultSkin().window_text);
  EXPECT_EQ(over.skin.field_text, (Rgb{4, 5, 6}));

  // One huge line without a newline at all.
  EXPECT_FALSE(SkinFromText(std::string(kMaxSkinBytes, 'x')));

  std::string big = key + "\n";
  big += std::string(kMaxSkinBytes - big.size(), '#');
  EXPECT_TRUE(SkinFromText(big));
  big.push_back('#');
  const ParseResult too_big = ParseSkin(big);
  EXPECT_TRUE(too_big.too_large);
  EXPECT_EQ(too_big.applied, 0);
  EXPECT_FALSE(SkinFromText(big));
}

}  // namespace
}  // namespace tapwing::skin
