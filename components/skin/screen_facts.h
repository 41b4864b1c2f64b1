// What the screen offers, asked the same way by the program's window, the skin library and the
// test probe: a window's DPI, and a font face that can show the Chinese interface texts; and the
// device contexts they draw and measure with.
// Windows only.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace tapwing::screen {

// A device context of a window (its client area or all of it), or of the screen for a null
// window, released when it goes.
class WindowDC {
 public:
  enum Part { kClient, kWhole };
  explicit WindowDC(HWND hwnd = nullptr, Part part = kClient)
      : hwnd_(hwnd), dc_(part == kWhole ? GetWindowDC(hwnd) : GetDC(hwnd)) {}
  ~WindowDC() {
    if (dc_) ReleaseDC(hwnd_, dc_);
  }
  WindowDC(const WindowDC&) = delete;
  WindowDC& operator=(const WindowDC&) = delete;
  operator HDC() const { return dc_; }

 private:
  HWND hwnd_;
  HDC dc_;
};

// The window's DPI where the system has per-window DPI (Windows 10 1607 and later, bound by
// name so older systems still load us), else the screen's, else 96.
UINT WindowDpi(HWND hwnd);

// The first of `faces` that is installed and can show Simplified Chinese; else any installed
// TrueType face that can (under Wine without Windows fonts usually WenQuanYi Micro Hei); else the
// first of `faces` installed at all; else the first of `faces`, or an empty name.
std::wstring ChooseChineseFace(const std::vector<std::wstring>& faces);

}  // namespace tapwing::screen
