// The GDI side of a loaded skin: colours, the brushes and pens made from them once, and the skin
// font per DPI. Created on the first successful attach and kept for the life of the process
// (the DLL pins itself), so painting code never creates or frees GDI objects per message.
#pragma once

#include <windows.h>

#include <string>

#include "skin_format.h"

namespace tapwing::skin {

struct Palette {
  COLORREF back;
  COLORREF text;
  HBRUSH brush;
};

class Theme {
 public:
  explicit Theme(const Skin& skin);
  Theme(const Theme&) = delete;
  Theme& operator=(const Theme&) = delete;

  Palette window, field, list, selection;
  COLORREF frame_caption;
  HBRUSH focus_brush;         // the frame of the focused edit or list, in the caption colour
  HBRUSH border_brush;        // 1 px frames
  HPEN border_pen;            // the group box's rounded frame
  HBRUSH list_text_brush;     // the drop-down arrow
  HBRUSH selection_text_brush;

  // Text colour for a disabled control on the given background.
  static COLORREF Muted(const Palette& p);

  // The skin font at the window's DPI; cached, never freed.
  HFONT FontFor(HWND hwnd);

 private:
  struct CachedFont {
    UINT dpi;
    HFONT font;
  };
  std::wstring face_;
  int tenths_;
  CachedFont fonts_[6] = {};
  SRWLOCK lock_ = SRWLOCK_INIT;
};

// The skin's face list, as screen::ChooseChineseFace picks from it.
std::wstring ChooseFace(const Skin& skin);

}  // namespace tapwing::skin
