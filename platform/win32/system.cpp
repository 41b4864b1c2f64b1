#include "platform/win32/system.h"

#include <objbase.h>

#include <map>

#include "platform/lazy_proc.h"
#include "platform/text.h"

namespace platform::win32 {
namespace {

std::wstring ModuleFolder(const std::wstring& path) {
  const auto slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

std::wstring LibraryFile(const std::wstring& folder, const char* name) {
  std::wstring file = folder + L"\\" + Wide(name);
  if (file.find(L'.', folder.size()) == std::wstring::npos) file += L".dll";
  return file;
}

// Libraries are loaded by full path only: from the system directory, or for our own libraries
// the program folder first. The current directory is never searched.
void* Resolve(const Library& library, const char* entry) {
  static std::map<std::wstring, HMODULE> loaded;
  const std::wstring folders[] = {library.search == Search::ProgramThenSystem ? ProgramFolder() : std::wstring(),
                                  SystemFolder()};
  for (const std::wstring& folder : folders) {
    if (folder.empty()) continue;
    const std::wstring file = LibraryFile(folder, library.name);
    auto found = loaded.find(file);
    if (found == loaded.end()) {
      HMODULE module = LoadLibraryExW(file.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
      if (module == nullptr) continue;
      found = loaded.emplace(file, module).first;
    }
    return reinterpret_cast<void*>(GetProcAddress(found->second, entry));
  }
  return nullptr;
}

std::string ToAnsiCodePage(std::string_view utf8) {
  const std::wstring wide = Wide(utf8);
  if (wide.empty()) return {};
  const int size = WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
  std::string bytes(size, '\0');
  WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), bytes.data(), size, nullptr, nullptr);
  return bytes;
}

std::string FromAnsiCodePage(std::string_view bytes) {
  if (bytes.empty()) return {};
  const int size = MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  std::wstring wide(size, L'\0');
  MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), wide.data(), size);
  return Utf8(wide);
}

// Windows 11 ignores a raised timer resolution while the window is covered or minimized, which is
// where an auto-clicker sits; opt out of that throttling where the system has it.
void KeepTimerResolution() {
  struct PowerThrottlingState {
    ULONG Version, ControlMask, StateMask;
  };
  constexpr int kProcessPowerThrottling = 4;
  constexpr ULONG kIgnoreTimerResolution = 0x4;
  using SetProcessInformationFn = BOOL(WINAPI*)(HANDLE, int, void*, DWORD);
  static LazyProc<SetProcessInformationFn> setProcessInformation{{"kernel32", Search::System}, "SetProcessInformation"};
  PowerThrottlingState state{1, kIgnoreTimerResolution, 0};
  try {
    setProcessInformation(GetCurrentProcess(), kProcessPowerThrottling, &state, sizeof state);
  } catch (const BindError&) {
    // Older systems do not throttle timers this way.
  }
}

}  // namespace

void InstallPlatform() {
  SetResolver(&Resolve);
  SetAnsiCodec({&ToAnsiCodePage, &FromAnsiCodePage});
  KeepTimerResolution();
}

std::wstring Wide(std::string_view utf8) {
  const std::u16string text = ToUtf16(utf8);
  return std::wstring(text.begin(), text.end());
}

std::string Utf8(std::wstring_view wide) { return ToUtf8(std::u16string(wide.begin(), wide.end())); }

std::wstring ProgramFolder() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length < path.size()) {
      path.resize(length);
      return ModuleFolder(path);
    }
    path.resize(path.size() * 2);
  }
}

std::wstring SystemFolder() {
  wchar_t path[MAX_PATH];
  const UINT length = GetSystemDirectoryW(path, MAX_PATH);
  return length > 0 && length < MAX_PATH ? std::wstring(path, length) : std::wstring();
}

ComApartment::ComApartment()
    : initialized_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE))) {}

ComApartment::~ComApartment() {
  if (initialized_) CoUninitialize();
}

}  // namespace platform::win32
