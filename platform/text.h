// Text conversions. The program keeps its strings in UTF-8; Windows and GDI+ want UTF-16, and
// the window's logic counts characters as UTF-16 code units, as the system does.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace platform {

// Portable; invalid UTF-8 becomes U+FFFD, lone surrogates likewise.
std::u16string ToUtf16(std::string_view utf8);
std::string ToUtf8(std::u16string_view utf16);

// Number of characters (UTF-16 code units, as the system counts them) in a UTF-8 text.
std::size_t CountChars(std::string_view utf8);
// The characters [first, first + count) of a UTF-8 text, counted as CountChars does. A
// surrogate pair cut by either end is left out whole; `count` may run past the end.
std::string MidChars(std::string_view utf8, std::size_t first, std::size_t count);

}  // namespace platform
