// Process-wide set-up of the Win32 backend and small pieces the other win32 files share.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace platform::win32 {

// Installs the DLL resolver and the ANSI code page, and asks Windows to honour the timer
// resolution even while the window is covered. Call once, first thing.
void InstallPlatform();

std::wstring Wide(std::string_view utf8);
std::string Utf8(std::wstring_view wide);

// The folder of the running executable, and the system directory; no trailing separator.
std::wstring ProgramFolder();
std::wstring SystemFolder();

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
