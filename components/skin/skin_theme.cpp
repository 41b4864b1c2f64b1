// Turns a parsed skin into GDI objects and picks a font face that exists on this system.
#include "skin_theme.h"

#include <cwchar>
#include <iterator>
#include <vector>

#include "screen_facts.h"

namespace tapwing::skin {
namespace {

COLORREF ToColorref(Rgb c) { return RGB(c.r, c.g, c.b); }

Palette MakePalette(Rgb back, Rgb text) {
  return Palette{ToColorref(back), ToColorref(text), CreateSolidBrush(ToColorref(back))};
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
  const UINT dpi = screen::WindowDpi(hwnd);
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
      wcsncpy(lf.lfFaceName, face_.c_str(), LF_FACESIZE - 1);
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

std::wstring ChooseFace(const Skin& skin) {
  std::vector<std::wstring> faces;
  for (const auto& face : skin.font_faces) faces.push_back(ToWide(face));
  return screen::ChooseChineseFace(faces);
}

}  // namespace tapwing::skin
