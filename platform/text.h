// Text conversions. The program keeps its strings in UTF-8; Windows wants UTF-16 for its wide
// interfaces and the system's ANSI code page for the narrow ones.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// Portable; invalid UTF-8 becomes U+FFFD, lone surrogates likewise.
std::u16string ToUtf16(std::string_view utf8);
std::string ToUtf8(std::u16string_view utf16);

// Number of characters (UTF-16 code units, as the system counts them) in a UTF-8 text.
std::size_t CountChars(std::string_view utf8);
// The characters [first, first + count) of a UTF-8 text, counted as CountChars does.
std::string MidChars(std::string_view utf8, std::size_t first, std::size_t count);

// To and from the system's ANSI code page. Every byte of `bytes` is decoded, NULs included.
std::string ToAnsi(std::string_view utf8);
std::string FromAnsi(std::string_view bytes);

// The backend installs the system's code page at start; until then it is UTF-8, as on Linux.
struct AnsiCodec {
  std::string (*toAnsi)(std::string_view utf8);
  std::string (*fromAnsi)(std::string_view bytes);
};
void SetAnsiCodec(const AnsiCodec& codec);

}  // namespace platform
