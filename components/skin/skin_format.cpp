// Reader for the Korva skin text format (documented in skin_format.h). Everything here must
// survive arbitrary bytes: the skin file sits beside the program where anyone can edit it.
#include "skin_format.h"

#include <array>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

namespace tapwing::skin {
namespace {

constexpr std::string_view kWhitespace = " \t\r\v\f";

std::string_view Trim(std::string_view s) {
  const auto first = s.find_first_not_of(kWhitespace);
  if (first == std::string_view::npos) return {};
  const auto last = s.find_last_not_of(kWhitespace);
  return s.substr(first, last - first + 1);
}

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  }
  return true;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = LowerAscii(c);
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// A value ends where whitespace followed by '#' or ';' starts a trailing comment. A value that
// itself begins with '#' (a colour) is not a comment: the caller has trimmed it already.
std::string_view StripTrailingComment(std::string_view value) {
  for (std::size_t i = 1; i < value.size(); ++i) {
    if ((value[i] == '#' || value[i] == ';') && (value[i - 1] == ' ' || value[i - 1] == '\t')) {
      return Trim(value.substr(0, i));
    }
  }
  return value;
}

// Strict UTF-8 to UTF-16: overlong forms, surrogates and values past U+10FFFF are refused.
std::optional<std::u16string> Utf8ToUtf16(std::string_view s) {
  std::u16string out;
  std::size_t i = 0;
  while (i < s.size()) {
    const auto lead = static_cast<unsigned char>(s[i]);
    std::uint32_t cp = 0;
    std::size_t extra = 0;
    std::uint32_t min = 0;
    if (lead < 0x80) {
      cp = lead;
    } else if ((lead & 0xE0) == 0xC0) {
      cp = lead & 0x1F, extra = 1, min = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
      cp = lead & 0x0F, extra = 2, min = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
      cp = lead & 0x07, extra = 3, min = 0x10000;
    } else {
      return std::nullopt;
    }
    if (s.size() - i <= extra) return std::nullopt;
    for (std::size_t k = 1; k <= extra; ++k) {
      const auto cont = static_cast<unsigned char>(s[i + k]);
      if ((cont & 0xC0) != 0x80) return std::nullopt;
      cp = (cp << 6) | (cont & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return std::nullopt;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
    i += extra + 1;
  }
  return out;
}

enum class Key {
  kWindowBackground,
  kWindowText,
  kFrameBorder,
  kFrameCaption,
  kFieldBackground,
  kFieldText,
  kListBackground,
  kListText,
  kSelectionBackground,
  kSelectionText,
  kFontFace,
  kFontSize,
};

struct KeyName {
  std::string_view name;
  Key key;
};

constexpr std::array<KeyName, 12> kKeys{{
    {"window.background", Key::kWindowBackground},
    {"window.text", Key::kWindowText},
    {"frame.border", Key::kFrameBorder},
    {"frame.caption", Key::kFrameCaption},
    {"field.background", Key::kFieldBackground},
    {"field.text", Key::kFieldText},
    {"list.background", Key::kListBackground},
    {"list.text", Key::kListText},
    {"selection.background", Key::kSelectionBackground},
    {"selection.text", Key::kSelectionText},
    {"font.face", Key::kFontFace},
    {"font.size", Key::kFontSize},
}};

std::optional<Key> FindKey(std::string_view name) {
  for (const auto& k : kKeys) {
    if (EqualsNoCase(k.name, name)) return k.key;
  }
  return std::nullopt;
}

Rgb* ColourSlot(Skin& skin, Key key) {
  switch (key) {
    case Key::kWindowBackground: return &skin.window_background;
    case Key::kWindowText: return &skin.window_text;
    case Key::kFrameBorder: return &skin.frame_border;
    case Key::kFrameCaption: return &skin.frame_caption;
    case Key::kFieldBackground: return &skin.field_background;
    case Key::kFieldText: return &skin.field_text;
    case Key::kListBackground: return &skin.list_background;
    case Key::kListText: return &skin.list_text;
    case Key::kSelectionBackground: return &skin.selection_background;
    case Key::kSelectionText: return &skin.selection_text;
    case Key::kFontFace:
    case Key::kFontSize: return nullptr;
  }
  return nullptr;
}

// True when the value was good and stored.
bool Apply(Skin& skin, Key key, std::string_view value) {
  if (Rgb* slot = ColourSlot(skin, key)) {
    const auto colour = ParseColour(value);
    if (!colour) return false;
    *slot = *colour;
    return true;
  }
  if (key == Key::kFontSize) {
    const auto tenths = ParseFontTenths(value);
    if (!tenths) return false;
    skin.font_tenths = *tenths;
    return true;
  }
  auto faces = ParseFaceList(value);
  if (!faces) return false;
  skin.font_faces = std::move(*faces);
  return true;
}

}  // namespace

std::optional<Rgb> ParseColour(std::string_view value) {
  value = Trim(value);
  if (value.size() != 7 || value[0] != '#') return std::nullopt;
  std::array<int, 6> d{};
  for (std::size_t i = 0; i < d.size(); ++i) {
    d[i] = HexDigit(value[i + 1]);
    if (d[i] < 0) return std::nullopt;
  }
  return Rgb{static_cast<std::uint8_t>(d[0] * 16 + d[1]), static_cast<std::uint8_t>(d[2] * 16 + d[3]),
             static_cast<std::uint8_t>(d[4] * 16 + d[5])};
}

std::optional<int> ParseFontTenths(std::string_view value) {
  value = Trim(value);
  if (value.size() >= 2 && EqualsNoCase(value.substr(value.size() - 2), "pt")) {
    value = Trim(value.substr(0, value.size() - 2));
  }
  // Digits, optionally '.' and one more digit. from_chars alone would accept "9abc" as 9.
  const auto dot = value.find('.');
  const std::string_view whole = value.substr(0, dot);
  std::string_view fraction;
  if (dot != std::string_view::npos) {
    fraction = value.substr(dot + 1);
    if (fraction.size() != 1) return std::nullopt;
  }
  if (whole.empty() || whole.size() > 3) return std::nullopt;
  for (char c : whole) {
    if (c < '0' || c > '9') return std::nullopt;
  }
  int units = 0;
  std::from_chars(whole.data(), whole.data() + whole.size(), units);
  int tenths = units * 10;
  if (!fraction.empty()) {
    if (fraction[0] < '0' || fraction[0] > '9') return std::nullopt;
    tenths += fraction[0] - '0';
  }
  if (tenths < kMinFontTenths || tenths > kMaxFontTenths) return std::nullopt;
  return tenths;
}

std::optional<std::vector<std::u16string>> ParseFaceList(std::string_view value) {
  std::vector<std::u16string> faces;
  while (!value.empty() && faces.size() < kMaxFaces) {
    const auto comma = value.find(',');
    std::string_view item = Trim(value.substr(0, comma));
    value = comma == std::string_view::npos ? std::string_view{} : value.substr(comma + 1);
    // Quotes are allowed for readability but add nothing: faces never contain commas.
    if (item.size() >= 2 && item.front() == '"' && item.back() == '"') {
      item = Trim(item.substr(1, item.size() - 2));
    }
    if (item.empty()) continue;
    auto face = Utf8ToUtf16(item);
    if (!face || face->size() > kMaxFaceUnits) continue;  // skip just this entry
    bool printable = true;
    for (char16_t c : *face) printable = printable && c >= 0x20 && c != 0x7F && c != u'"';
    if (printable) faces.push_back(std::move(*face));
  }
  if (faces.empty()) return std::nullopt;
  return faces;
}

ParseResult ParseSkin(std::string_view text) {
  ParseResult result;
  if (text.size() > kMaxSkinBytes) {
    result.too_large = true;
    return result;
  }
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);

  while (!text.empty()) {
    const auto eol = text.find('\n');
    std::string_view line = text.substr(0, eol);
    text = eol == std::string_view::npos ? std::string_view{} : text.substr(eol + 1);
    // A CRLF file's lines measure the same as an LF file's.
    if (line.ends_with('\r')) line.remove_suffix(1);

    if (line.size() > kMaxLineBytes) {
      ++result.rejected;
      continue;
    }
    line = Trim(line);
    if (line.empty() || line[0] == '#' || line[0] == ';' || line[0] == '[') continue;

    const auto eq = line.find('=');
    if (eq == std::string_view::npos) {
      ++result.rejected;
      continue;
    }
    const auto key = FindKey(Trim(line.substr(0, eq)));
    if (!key) {
      ++result.unknown;
      continue;
    }
    const auto value = StripTrailingComment(Trim(line.substr(eq + 1)));
    if (Apply(result.skin, *key, value)) {
      ++result.applied;
    } else {
      ++result.rejected;
    }
  }
  return result;
}

std::optional<Skin> SkinFromText(std::string_view text) {
  ParseResult parsed = ParseSkin(text);
  if (parsed.too_large || parsed.applied == 0) return std::nullopt;
  return std::move(parsed.skin);
}

}  // namespace tapwing::skin
