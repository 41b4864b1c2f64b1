// To and from the system's ANSI code page, for the narrow interfaces the program calls (the skin
// library). The process installs the system's code page at start; until then, and in the
// native unit tests, it is UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace platform::win32 {

std::string ToAnsi(std::string_view utf8);
// Every byte of `bytes` is decoded, NULs included.
std::string FromAnsi(std::string_view bytes);
// The code page holds the text exactly: nothing turns into '?' on the way.
bool FitsAnsi(std::string_view utf8);

struct AnsiCodec {
  std::string (*toAnsi)(std::string_view utf8);
  std::string (*fromAnsi)(std::string_view bytes);
};
void SetAnsiCodec(const AnsiCodec& codec);

}  // namespace platform::win32
