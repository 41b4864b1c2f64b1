#include "platform/skin.h"

#include <string>

#include "platform/lazy_proc.h"
#include "platform/stdcall.h"
#include "platform/text.h"

namespace platform {
namespace {

using AttachExFn = int(TW_STDCALL*)(const char* skinFile, const char* password);
LazyProc<AttachExFn> attachEx{{"KorvaSkin.dll", Search::ProgramThenSystem}, "KorvaSkin_AttachEx"};

}  // namespace

void AttachSkin(std::string_view skinFile, std::string_view password) {
  const std::string file = ToAnsi(skinFile);
  const std::string key = ToAnsi(password);
  attachEx(file.c_str(), key.c_str());
}

}  // namespace platform
