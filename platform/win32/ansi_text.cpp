#include "platform/win32/ansi_text.h"

#include <string>
#include <string_view>

namespace platform::win32 {
namespace {

std::string PassThrough(std::string_view text) { return std::string(text); }

AnsiCodec ansiCodec{PassThrough, PassThrough};

}  // namespace

std::string ToAnsi(std::string_view utf8) { return ansiCodec.toAnsi(utf8); }
std::string FromAnsi(std::string_view bytes) { return ansiCodec.fromAnsi(bytes); }
bool FitsAnsi(std::string_view utf8) { return FromAnsi(ToAnsi(utf8)) == utf8; }
void SetAnsiCodec(const AnsiCodec& codec) { ansiCodec = codec; }

}  // namespace platform::win32
