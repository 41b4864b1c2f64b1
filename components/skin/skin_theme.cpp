// Turns a parsed skin into GDI objects and picks a font face that exists on this system.
#include "skin_theme.h"

#include <cwchar>
#include <iterator>

namespace tapwing::skin {
namespace {

COLORREF ToColorref(Rgb c) { return RGB(c.r, c.g, c.b); }

Palette MakePalette(Rgb back, Rgb text) {
  return Palette{ToColorref(back), ToColorref(text), CreateSolidBrush(ToColorref(back))};
}

void CopyFace(LOGFONTW& lf, const std::wstring& face) {
  wcsncpy(lf.lfFaceName, face.c_str(), LF_FACESIZE - 1);
  lf.lfFaceName[LF_FACESIZE - 1] = L'\0';
}

int CALLBACK NoteFound(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
  *reinterpret_cast<bool*>(found) = true;
  return 0;
}

bool HasFace(HDC dc, const std::wstring& face, BYTE charset) {
  LOGFONTW lf{};
  lf.lfCharSet = charset;
  CopyFace(lf, face);
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

std::wstring ToWide(const std::u16string& s) { return std::wstring(s.begin(), s.end()); }

}  // namespace

Theme::Theme(const Skin& skin)
    : window(MakePalette(skin.window_background, skin.window_text)),
      field(MakePalette(skin.field_background, skin.field_text)),
      list(MakePalette(skin.list_background, skin.list_text)),
      selection(MakePalette(skin.selection_background, skin.selection_text)),
      frame_caption(ToColorref(skin.frame_caption)),
      focus_brush(CreateSolidBrush(frame_caption)),
      border_brush(CreateSolidBrush(ToColorref(skin.frame_border))),
      border_pen(CreatePen(PS_SOLID, 1, ToColorref(skin.frame_border))),
      list_text_brush(CreateSolidBrush(ToColorref(skin.list_text))),
      selection_text_brush(CreateSolidBrush(ToColorref(skin.selection_text))),
      face_(ChooseFace(skin)),
      tenths_(skin.font_tenths) {}

COLORREF Theme::Muted(const Palette& p) {
  auto mix = [](BYTE a, BYTE b) { return static_cast<BYTE>((a + b) / 2); };
  return RGB(mix(GetRValue(p.back), GetRValue(p.text)), mix(GetGValue(p.back), GetGValue(p.text)),
             mix(GetBValue(p.back), GetBValue(p.text)));
}

HFONT Theme::FontFor(HWND hwnd) {
  const UINT dpi = WindowDpi(hwnd);
  AcquireSRWLockExclusive(&lock_);
  HFONT result = nullptr;
  for (auto& slot : fonts_) {
    if (slot.font && slot.dpi == dpi) {
      result = slot.font;
      break;
    }
    if (!slot.font) {
      LOGFONTW lf{};
      lf.lfHeight = -MulDiv(tenths_, static_cast<int>(dpi), 720);
      lf.lfWeight = FW_NORMAL;
      lf.lfCharSet = DEFAULT_CHARSET;
      lf.lfOutPrecision = OUT_TT_PRECIS;
      lf.lfQuality = CLEARTYPE_QUALITY;
      CopyFace(lf, face_);
      slot = CachedFont{dpi, CreateFontIndirectW(&lf)};
      result = slot.font;
      break;
    }
  }
  // More distinct DPIs than slots: reuse the last one rather than create without bound.
  if (!result) result = fonts_[std::size(fonts_) - 1].font;
  ReleaseSRWLockExclusive(&lock_);
  return result;
}

UINT WindowDpi(HWND hwnd) {
  // Windows 10 1607 and later; bound by name so the DLL still loads on older systems.
  using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
  static const GetDpiForWindowFn get_dpi_for_window = [] {
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    FARPROC proc = user32 ? GetProcAddress(user32, "GetDpiForWindow") : nullptr;
    return reinterpret_cast<GetDpiForWindowFn>(reinterpret_cast<void*>(proc));
  }();
  if (get_dpi_for_window && hwnd) {
    if (const UINT dpi = get_dpi_for_window(hwnd)) return dpi;
  }
  HDC screen = GetDC(nullptr);
  const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 0;
  if (screen) ReleaseDC(nullptr, screen);
  return dpi > 0 ? static_cast<UINT>(dpi) : 96;
}

std::wstring ChooseFace(const Skin& skin) {
  HDC dc = GetDC(nullptr);
  if (!dc) return skin.font_faces.empty() ? std::wstring{} : ToWide(skin.font_faces.front());

  std::wstring chosen;
  for (const auto& face : skin.font_faces) {
    if (HasFace(dc, ToWide(face), GB2312_CHARSET)) {
      chosen = ToWide(face);
      break;
    }
  }
  if (chosen.empty()) {
    // None of the listed faces shows Chinese here (a Wine prefix without Windows fonts, say):
    // any installed CJK face beats boxes.
    LOGFONTW lf{};
    lf.lfCharSet = GB2312_CHARSET;
    EnumFontFamiliesExW(dc, &lf, TakeFirstTrueType, reinterpret_cast<LPARAM>(&chosen), 0);
  }
  if (chosen.empty()) {
    for (const auto& face : skin.font_faces) {
      if (HasFace(dc, ToWide(face), DEFAULT_CHARSET)) {
        chosen = ToWide(face);
        break;
      }
    }
  }
  ReleaseDC(nullptr, dc);
  return chosen;
}

}  // namespace tapwing::skin
