#include "screen_facts.h"

#include <cwchar>
#include <vector>

namespace tapwing::screen {
namespace {

int CALLBACK NoteFound(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
  *reinterpret_cast<bool*>(found) = true;
  return 0;
}

bool HasFace(HDC dc, const std::wstring& face, BYTE charset) {
  LOGFONTW lf{};
  lf.lfCharSet = charset;
  wcsncpy(lf.lfFaceName, face.c_str(), LF_FACESIZE - 1);
  bool found = false;
  EnumFontFamiliesExW(dc, &lf, NoteFound, reinterpret_cast<LPARAM>(&found), 0);
  return found;
}

int CALLBACK TakeFirstTrueType(const LOGFONTW* lf, const TEXTMETRICW*, DWORD type, LPARAM out) {
  // '@' faces are the vertical variants of CJK fonts: text would come out rotated.
  if (!(type & TRUETYPE_FONTTYPE) || lf->lfFaceName[0] == L'@') return 1;
  *reinterpret_cast<std::wstring*>(out) = lf->lfFaceName;
  return 0;
}

}  // namespace

UINT WindowDpi(HWND hwnd) {
  using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
  static const GetDpiForWindowFn getDpiForWindow = [] {
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    FARPROC proc = user32 ? GetProcAddress(user32, "GetDpiForWindow") : nullptr;
    return reinterpret_cast<GetDpiForWindowFn>(reinterpret_cast<void*>(proc));
  }();
  if (getDpiForWindow && hwnd) {
    if (const UINT dpi = getDpiForWindow(hwnd)) return dpi;
  }
  const WindowDC screen;
  const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 0;
  return dpi > 0 ? static_cast<UINT>(dpi) : 96;
}

std::wstring ChooseChineseFace(const std::vector<std::wstring>& faces) {
  const WindowDC dc;
  if (!dc) return faces.empty() ? std::wstring() : faces.front();
  for (const auto& face : faces) {
    if (HasFace(dc, face, GB2312_CHARSET)) return face;
  }
  std::wstring chosen;
  LOGFONTW lf{};
  lf.lfCharSet = GB2312_CHARSET;
  EnumFontFamiliesExW(dc, &lf, TakeFirstTrueType, reinterpret_cast<LPARAM>(&chosen), 0);
  if (!chosen.empty()) return chosen;
  for (const auto& face : faces) {
    if (HasFace(dc, face, DEFAULT_CHARSET)) return face;
  }
  return faces.empty() ? std::wstring() : faces.front();
}

}  // namespace tapwing::screen
