// The Korva skin file: what it may say and how it is read. Portable (no Windows headers) so the
// unit tests run natively; KorvaSkin.dll does the file I/O and turns the result into GDI objects.
//
// Format (UTF-8 text, optional BOM, LF or CRLF line ends, at most kMaxSkinBytes in all):
//
//   # a comment line (';' works too); blank lines are fine; "[section]" lines are ignored
//   window.background    = #1F3A3D        # colours are #RRGGBB, hex digits in either case
//   font.face            = Microsoft YaHei UI, SimSun, WenQuanYi Micro Hei
//   font.size            = 9              # points, 6 to 36, one decimal allowed (10.5)
//
//   Keys (case-insensitive; spaces around '=' and the value are trimmed):
//     window.background      main window and message box background
//     window.text            plain text: labels, check boxes, message box text
//     frame.border           group box frame; the resting border of edits and lists
//     frame.caption          group box caption; also the border of the focused edit or list
//     field.background       edit boxes
//     field.text
//     list.background        drop-down lists (closed face and the open list)
//     list.text
//     selection.background   focused list face, pressed list button
//     selection.text
//     font.face              comma-separated faces in order of preference, optionally "quoted";
//                            the DLL takes the first installed one that can show Chinese (the
//                            same file must work on Windows and under Wine); at most kMaxFaces,
//                            each under 32 UTF-16 units; bad entries are dropped one by one
//     font.size
//
//   A " #" or " ;" after a value starts a trailing comment. Unknown keys and lines without '='
//   are skipped. A malformed value leaves that key as it was (its default, or an earlier good
//   line); among good duplicates the last one wins. Lines longer than kMaxLineBytes are skipped.
//   Defaults (DefaultSkin) are a neutral light look; a text in which no key is valid, or one
//   over the size cap, is not a skin at all (SkinFromText returns nothing) and the DLL then
//   leaves the program's windows alone.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tapwing::skin {

inline constexpr std::size_t kMaxSkinBytes = 64 * 1024;
inline constexpr std::size_t kMaxLineBytes = 1024;
inline constexpr std::size_t kMaxFaces = 8;
inline constexpr std::size_t kMaxFaceUnits = 31;  // LF_FACESIZE less the terminator
inline constexpr int kMinFontTenths = 60;
inline constexpr int kMaxFontTenths = 360;

struct Rgb {
  std::uint8_t r = 0, g = 0, b = 0;
  friend bool operator==(const Rgb&, const Rgb&) = default;
};

struct Skin {
  Rgb window_background{0xF0, 0xF0, 0xF0};
  Rgb window_text{0x00, 0x00, 0x00};
  Rgb frame_border{0xA0, 0xA0, 0xA0};
  Rgb frame_caption{0x00, 0x00, 0x00};
  Rgb field_background{0xFF, 0xFF, 0xFF};
  Rgb field_text{0x00, 0x00, 0x00};
  Rgb list_background{0xFF, 0xFF, 0xFF};
  Rgb list_text{0x00, 0x00, 0x00};
  Rgb selection_background{0x00, 0x78, 0xD7};
  Rgb selection_text{0xFF, 0xFF, 0xFF};
  std::vector<std::u16string> font_faces{u"Microsoft YaHei UI", u"Microsoft YaHei", u"SimSun",
                                         u"WenQuanYi Micro Hei"};
  int font_tenths = 90;  // tenths of a point
};

inline Skin DefaultSkin() { return Skin{}; }

struct ParseResult {
  Skin skin;
  int applied = 0;   // lines that set a key
  int rejected = 0;  // known key, bad value; or no '='; or over-long line
  int unknown = 0;   // well-formed line with a key nobody knows
  bool too_large = false;
};

// Never throws on content; reads at most kMaxSkinBytes (a larger text is refused whole).
ParseResult ParseSkin(std::string_view text);

// The skin to apply, or nothing when the text is no skin (too large, or no valid key at all).
std::optional<Skin> SkinFromText(std::string_view text);

// Single values, exposed for the tests and for anyone who wants to check a value.
std::optional<Rgb> ParseColour(std::string_view value);
std::optional<int> ParseFontTenths(std::string_view value);
std::optional<std::vector<std::u16string>> ParseFaceList(std::string_view value);

}  // namespace tapwing::skin
