// Process-wide set-up of the Win32 backend and the small pieces its other files share: UTF-16
// conversions, folders, scoped handles.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <string_view>
#include <type_traits>

namespace platform::win32 {

// Limits where DLLs load from, installs the DLL resolver and the ANSI code page, and asks
// Windows to honour the timer resolution even while the window is covered. Call once, first thing.
void InstallPlatform();

std::wstring Wide(std::string_view utf8);
std::string Utf8(std::wstring_view wide);

// The folder of the running executable, and the system directory; no trailing separator.
std::wstring ProgramFolder();
std::wstring SystemFolder();

struct HandleCloser {
  using pointer = HANDLE;
  void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using UniqueHandle = std::unique_ptr<HANDLE, HandleCloser>;

struct GdiObjectDeleter {
  void operator()(HGDIOBJ object) const { DeleteObject(object); }
};
using UniqueFont = std::unique_ptr<std::remove_pointer_t<HFONT>, GdiObjectDeleter>;

// COM for the window's thread, for the lifetime of this object.
class ComApartment {
 public:
  ComApartment();
  ~ComApartment();
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;

 private:
  bool initialized_;
};

}  // namespace platform::win32
