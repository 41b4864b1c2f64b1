#include "platform/win32/win32_chores.h"

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/text.h"
#include "platform/win32/ansi_text.h"
#include "platform/win32/lazy_proc.h"
#include "platform/win32/module1.h"
#include "platform/win32/stdcall.h"

namespace platform::win32 {
namespace {

constexpr Library kSkinLibrary{"KorvaSkin.dll", Search::ProgramThenSystem};

using AttachExFn = int(TW_STDCALL*)(const char* skinFile, const char* password);
using AttachExWFn = int(TW_STDCALL*)(const char16_t* skinFile, const char16_t* password);
LazyProc<AttachExFn> attachEx{kSkinLibrary, "KorvaSkin_AttachEx"};
LazyProc<AttachExWFn> attachExW{kSkinLibrary, "KorvaSkin_AttachExW"};

using DllRegisterServerFn = std::int32_t(TW_STDCALL*)();
constexpr std::int32_t kModuleNotFound = static_cast<std::int32_t>(0x8007007E);  // ERROR_MOD_NOT_FOUND

}  // namespace

std::string JoinProgramFile(std::string folder, std::string_view name) {
  if (folder.empty() || folder.back() != '\\') folder += '\\';
  return folder.append(name);
}

std::int32_t RegisterComponent(std::string_view dll) {
  const std::string path(dll);
  try {
    const auto registerServer = reinterpret_cast<DllRegisterServerFn>(Resolve({path.c_str(), Search::Exact}, "DllRegisterServer"));
    return registerServer();
  } catch (const BindError&) {
    return kModuleNotFound;
  }
}

void AttachSkin(std::string_view skinFile) {
  if (FitsAnsi(skinFile)) {
    attachEx(ToAnsi(skinFile).c_str(), "");
    return;
  }
  if (const std::string shortPath = Module1::ToShortPath(skinFile); !shortPath.empty() && FitsAnsi(shortPath)) {
    attachEx(ToAnsi(shortPath).c_str(), "");
    return;
  }
  attachExW(ToUtf16(skinFile).c_str(), u"");
}

}  // namespace platform::win32
