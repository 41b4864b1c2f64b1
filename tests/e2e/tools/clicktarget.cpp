// clicktarget.exe LOGFILE: a full-screen Wine window under everything that logs the mouse
// button and wheel messages it receives, one line each:
//   <QueryPerformanceCounter in microseconds> <event> <screen x> <screen y>
// with event one of ldown lup ldbl rdown rup rdbl mdown mup mdbl wheel+120 wheel-120.
// The first line is "# ready hwnd=<n> pid=<n>".
//
// Clicks that Tapwing sends with SendInput stay inside Wine, so only a Wine window can see
// them. Being a Wine window under the whole screen also lets Wine track the X pointer
// everywhere, as the Windows desktop would. It is never activated and stays at the bottom
// of the z-order, so it never covers Tapwing or takes the keyboard from it.

#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

HANDLE g_log = INVALID_HANDLE_VALUE;
LARGE_INTEGER g_freq;

void logLine(const char* text) {
  DWORD written = 0;
  WriteFile(g_log, text, static_cast<DWORD>(std::strlen(text)), &written, nullptr);
}

void logEvent(HWND h, const char* event, LPARAM lp, bool screenCoords) {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  long long us = now.QuadPart / g_freq.QuadPart * 1000000 +
                 (now.QuadPart % g_freq.QuadPart) * 1000000 / g_freq.QuadPart;
  POINT p{static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
  if (!screenCoords) ClientToScreen(h, &p);
  char line[128];
  std::snprintf(line, sizeof line, "%lld %s %ld %ld\n", us, event, p.x, p.y);
  logLine(line);
}

LRESULT CALLBACK proc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_LBUTTONDOWN: logEvent(h, "ldown", lp, false); return 0;
    case WM_LBUTTONUP: logEvent(h, "lup", lp, false); return 0;
    case WM_LBUTTONDBLCLK: logEvent(h, "ldbl", lp, false); return 0;
    case WM_RBUTTONDOWN: logEvent(h, "rdown", lp, false); return 0;
    case WM_RBUTTONUP: logEvent(h, "rup", lp, false); return 0;
    case WM_RBUTTONDBLCLK: logEvent(h, "rdbl", lp, false); return 0;
    case WM_MBUTTONDOWN: logEvent(h, "mdown", lp, false); return 0;
    case WM_MBUTTONUP: logEvent(h, "mup", lp, false); return 0;
    case WM_MBUTTONDBLCLK: logEvent(h, "mdbl", lp, false); return 0;
    case WM_MOUSEWHEEL: {
      // One line per notch, so a 240 delta from a fast wheel still counts as two.
      int delta = GET_WHEEL_DELTA_WPARAM(wp);
      for (int d = delta; d >= WHEEL_DELTA; d -= WHEEL_DELTA) logEvent(h, "wheel+120", lp, true);
      for (int d = delta; d <= -WHEEL_DELTA; d += WHEEL_DELTA) logEvent(h, "wheel-120", lp, true);
      return 0;
    }
    case WM_MOUSEACTIVATE: return MA_NOACTIVATE;
    case WM_WINDOWPOSCHANGING: {
      auto* pos = reinterpret_cast<WINDOWPOS*>(lp);
      pos->hwndInsertAfter = HWND_BOTTOM;
      pos->flags |= SWP_NOACTIVATE;
      pos->flags &= ~SWP_NOZORDER;
      return 0;
    }
    case WM_DESTROY: PostQuitMessage(0); return 0;
  }
  return DefWindowProcW(h, msg, wp, lp);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE inst, HINSTANCE, PWSTR, int) {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (argc < 2) {
    MessageBoxW(nullptr, L"usage: clicktarget.exe LOGFILE", L"clicktarget", MB_OK);
    return 2;
  }
  g_log = CreateFileW(argv[1], FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                      OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (g_log == INVALID_HANDLE_VALUE) return 3;
  QueryPerformanceFrequency(&g_freq);

  WNDCLASSW wc{};
  wc.style = CS_DBLCLKS;
  wc.lpfnWndProc = proc;
  wc.hInstance = inst;
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = CreateSolidBrush(RGB(46, 84, 120));
  wc.lpszClassName = L"TapwingClickTarget";
  RegisterClassW(&wc);

  HWND h = CreateWindowExW(WS_EX_NOACTIVATE | WS_EX_TOOLWINDOW, wc.lpszClassName,
                           L"Tapwing click target", WS_POPUP, 0, 0,
                           GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), nullptr,
                           nullptr, inst, nullptr);
  if (!h) return 4;
  ShowWindow(h, SW_SHOWNOACTIVATE);
  SetWindowPos(h, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  UpdateWindow(h);

  char ready[96];
  std::snprintf(ready, sizeof ready, "# ready hwnd=%lu pid=%lu\n",
                static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(h)), GetCurrentProcessId());
  logLine(ready);

  MSG m;
  while (GetMessageW(&m, nullptr, 0, 0) > 0) {
    TranslateMessage(&m);
    DispatchMessageW(&m);
  }
  CloseHandle(g_log);
  return 0;
}
