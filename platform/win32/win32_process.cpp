#include "platform/win32/win32_process.h"

#include <objbase.h>

#include <map>
#include <string>
#include <string_view>

#include "platform/text.h"
#include "platform/win32/ansi_text.h"
#include "platform/win32/lazy_proc.h"

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

// A library's own dependencies come from its folder and the system directory only. Systems
// without the LOAD_LIBRARY_SEARCH flags (Windows 7 before KB2533623) refuse them; there the
// altered search path does the same for a library given by full path.
HMODULE LoadByPath(const std::wstring& file, bool system) {
  const DWORD flags = system ? LOAD_LIBRARY_SEARCH_SYSTEM32
                             : LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32;
  HMODULE module = LoadLibraryExW(file.c_str(), nullptr, flags);
  if (module == nullptr && GetLastError() == ERROR_INVALID_PARAMETER)
    module = LoadLibraryExW(file.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  return module;
}

// Libraries are loaded by full path only: from the system directory, for our own libraries the
// program folder first, or exactly the file named. The current directory is never searched.
// Loaded libraries stay loaded: entry points bound from them are kept.
void* ResolveByPath(const Library& library, const char* entry) {
  static std::map<std::wstring, HMODULE> loaded;
  struct Candidate {
    std::wstring file;
    bool system;
  };
  Candidate candidates[2];
  if (library.search == Search::Exact) {
    candidates[0] = {Wide(library.name), false};
  } else {
    const std::wstring program = library.search == Search::ProgramThenSystem ? ProgramFolder() : std::wstring();
    if (!program.empty()) candidates[0] = {LibraryFile(program, library.name), false};
    if (const std::wstring system = SystemFolder(); !system.empty()) candidates[1] = {LibraryFile(system, library.name), true};
  }
  for (const Candidate& candidate : candidates) {
    if (candidate.file.empty()) continue;
    auto found = loaded.find(candidate.file);
    if (found == loaded.end()) {
      HMODULE module = LoadByPath(candidate.file, candidate.system);
      if (module == nullptr) continue;
      found = loaded.emplace(candidate.file, module).first;
    }
    return reinterpret_cast<void*>(GetProcAddress(found->second, entry));
  }
  return nullptr;
}

// From here on, no DLL the program or a library loads by bare name comes from the current
// directory or PATH: only the system directory and the program folder.
void RestrictDllSearch() {
  using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
  static LazyProc<SetDefaultDllDirectoriesFn> setDefaultDllDirectories{{"kernel32", Search::System},
                                                                       "SetDefaultDllDirectories"};
  try {
    setDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32 | LOAD_LIBRARY_SEARCH_APPLICATION_DIR);
  } catch (const BindError&) {
    // Windows 7 without KB2533623: the full paths above are all the program has.
  }
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
  SetResolver(&ResolveByPath);
  RestrictDllSearch();
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
