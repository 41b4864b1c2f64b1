// Owner painting for the few control parts that WM_CTLCOLOR* cannot recolour.
#include "skin_paint.h"

#include <algorithm>
#include <cstddef>
#include <string>

#include "screen_facts.h"

namespace tapwing::skin {
namespace {

int Scale(HWND hwnd, int px96) { return MulDiv(px96, static_cast<int>(screen::WindowDpi(hwnd)), 96); }

void ExcludeWindow(HWND self, HDC dc, HWND other) {
  if (!IsWindowVisible(other)) return;
  RECT r;
  GetWindowRect(other, &r);
  MapWindowPoints(HWND_DESKTOP, self, reinterpret_cast<POINT*>(&r), 2);
  ExcludeClipRect(dc, r.left, r.top, r.right, r.bottom);
}

// A group box often overlaps its sibling controls (they sit inside it but are not its
// children), and it may also be their parent: either way it must not paint over them.
void ExcludeNeighbours(HWND self, HDC dc) {
  for (HWND c = GetWindow(self, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) ExcludeWindow(self, dc, c);
  for (HWND s = GetWindow(self, GW_HWNDFIRST); s; s = GetWindow(s, GW_HWNDNEXT)) {
    if (s != self) ExcludeWindow(self, dc, s);
  }
}

std::wstring WindowText(HWND hwnd) {
  const int len = GetWindowTextLengthW(hwnd);
  if (len <= 0 || len > 0x10000) return {};
  std::wstring text(static_cast<std::size_t>(len) + 1, L'\0');
  text.resize(static_cast<std::size_t>(GetWindowTextW(hwnd, text.data(), len + 1)));
  return text;
}

std::wstring SelectedEntry(HWND combo) {
  const auto sel = SendMessageW(combo, CB_GETCURSEL, 0, 0);
  if (sel < 0) return {};
  const auto len = SendMessageW(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(sel), 0);
  if (len <= 0 || len > 0x10000) return {};
  std::wstring text(static_cast<std::size_t>(len) + 1, L'\0');
  const auto got = SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(sel),
                                reinterpret_cast<LPARAM>(text.data()));
  text.resize(got > 0 ? static_cast<std::size_t>(std::min(got, len)) : 0);
  return text;
}

void DrawArrow(HDC dc, const RECT& box, HBRUSH brush, int half) {
  const int cx = (box.left + box.right) / 2;
  const int top = (box.top + box.bottom - half) / 2;
  for (int i = 0; i < half; ++i) {
    const RECT row{cx - half + 1 + i, top + i, cx + half - i, top + i + 1};
    FillRect(dc, &row, brush);
  }
}

}  // namespace

void PaintGroupBox(Theme& theme, HWND box, HDC dc) {
  const int saved = SaveDC(dc);
  ExcludeNeighbours(box, dc);

  RECT rc;
  GetClientRect(box, &rc);
  FillRect(dc, &rc, theme.window.brush);

  SelectObject(dc, theme.FontFor(box));
  TEXTMETRICW tm{};
  GetTextMetricsW(dc, &tm);
  const int line_y = rc.top + tm.tmHeight / 2;
  const int radius = Scale(box, 6);
  SelectObject(dc, theme.border_pen);
  SelectObject(dc, GetStockObject(NULL_BRUSH));
  RoundRect(dc, rc.left, line_y, rc.right, rc.bottom, radius, radius);

  const std::wstring text = WindowText(box);
  if (!text.empty()) {
    const int inset = Scale(box, 8);
    const int pad = Scale(box, 3);
    RECT cap{rc.left + inset, rc.top, rc.right - inset, rc.top + tm.tmHeight};
    RECT need = cap;
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &need, DT_SINGLELINE | DT_CALCRECT);
    cap.right = std::min(cap.right, need.right);
    const RECT gap{cap.left - pad, rc.top, cap.right + pad, cap.bottom};
    FillRect(dc, &gap, theme.window.brush);

    UINT flags = DT_SINGLELINE | DT_LEFT | DT_TOP | DT_END_ELLIPSIS;
    if (SendMessageW(box, WM_QUERYUISTATE, 0, 0) & UISF_HIDEACCEL) flags |= DT_HIDEPREFIX;
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, IsWindowEnabled(box) ? theme.frame_caption : Theme::Muted(theme.window));
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &cap, flags);
  }
  RestoreDC(dc, saved);
}

void PaintDropDownList(Theme& theme, HWND combo, HDC dc) {
  RECT rc;
  GetClientRect(combo, &rc);
  COMBOBOXINFO info{};
  info.cbSize = sizeof info;
  if (!GetComboBoxInfo(combo, &info)) {
    info.rcButton = rc;
    info.rcButton.left = rc.right - GetSystemMetrics(SM_CXVSCROLL);
    info.rcItem = rc;
    info.rcItem.right = info.rcButton.left;
    InflateRect(&info.rcItem, -2, -2);
  }
  const bool enabled = IsWindowEnabled(combo);
  const bool dropped = SendMessageW(combo, CB_GETDROPPEDSTATE, 0, 0) != 0;
  const bool focused = enabled && GetFocus() == combo;
  const bool pressed = enabled && (info.stateButton & STATE_SYSTEM_PRESSED);

  const int saved = SaveDC(dc);
  FillRect(dc, &rc, theme.list.brush);
  FrameRect(dc, &rc, (focused || dropped) ? theme.focus_brush : theme.border_brush);
  if (pressed) FillRect(dc, &info.rcButton, theme.selection.brush);
  DrawArrow(dc, info.rcButton, pressed ? theme.selection_text_brush : theme.list_text_brush,
            Scale(combo, 4));

  COLORREF fg = enabled ? theme.list.text : Theme::Muted(theme.list);
  if (focused && !dropped) {
    FillRect(dc, &info.rcItem, theme.selection.brush);
    fg = theme.selection.text;
  }
  const std::wstring text = SelectedEntry(combo);
  if (!text.empty()) {
    SelectObject(dc, theme.FontFor(combo));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, fg);
    RECT tr = info.rcItem;
    tr.left += Scale(combo, 2);
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &tr,
              DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);
  }
  RestoreDC(dc, saved);
}

bool HasFlatFrame(HWND edit) {
  const LONG style = GetWindowLongW(edit, GWL_STYLE);
  const LONG ex = GetWindowLongW(edit, GWL_EXSTYLE);
  if (style & (ES_MULTILINE | WS_VSCROLL | WS_HSCROLL)) return false;
  return (ex & (WS_EX_CLIENTEDGE | WS_EX_STATICEDGE)) != 0;
}

void PaintEditFrame(Theme& theme, HWND edit) {
  const screen::WindowDC dc(edit, screen::WindowDC::kWhole);
  if (!dc) return;
  RECT r;
  GetWindowRect(edit, &r);
  OffsetRect(&r, -r.left, -r.top);
  const bool focused = IsWindowEnabled(edit) && GetFocus() == edit;
  FrameRect(dc, &r, focused ? theme.focus_brush : theme.border_brush);
}

HWND MessageBoxText(HWND dialog) {
  // MessageBox puts its text in a static control with the id 0xFFFF, on Windows and Wine alike.
  for (HWND c = GetWindow(dialog, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
    if ((GetDlgCtrlID(c) & 0xFFFF) != 0xFFFF) continue;
    wchar_t cls[16] = {};
    GetClassNameW(c, cls, 16);
    if (lstrcmpiW(cls, L"Static") != 0) continue;
    if ((GetWindowLongW(c, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) continue;
    return c;
  }
  return nullptr;
}

void FitMessageBox(Theme& theme, HWND dialog, HWND text) {
  const std::wstring s = WindowText(text);
  if (s.empty()) return;
  RECT tr;
  GetWindowRect(text, &tr);
  MapWindowPoints(HWND_DESKTOP, dialog, reinterpret_cast<POINT*>(&tr), 2);
  const int cur_w = tr.right - tr.left;
  const int cur_h = tr.bottom - tr.top;

  const screen::WindowDC dc(text);
  if (!dc) return;
  HGDIOBJ old = SelectObject(dc, theme.FontFor(text));
  const UINT flags = DT_CALCRECT | DT_NOPREFIX | DT_EXPANDTABS;
  RECT natural{0, 0, 0, 0};
  DrawTextW(dc, s.c_str(), -1, &natural, flags);
  RECT work{0, 0, 800, 600};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  const int cap = std::max(cur_w, static_cast<int>(work.right - work.left) * 3 / 5);
  const int w = std::max(cur_w, std::min(static_cast<int>(natural.right), cap));
  RECT wrapped{0, 0, w, 0};
  DrawTextW(dc, s.c_str(), -1, &wrapped, flags | DT_WORDBREAK);
  SelectObject(dc, old);

  const int dw = w - cur_w;
  const int dh = std::max(0, static_cast<int>(wrapped.bottom) - cur_h);
  if (dw == 0 && dh == 0) return;

  // Buttons sit below the text and are centred: they move down by the growth and right by half
  // the widening, as the box itself widens about its centre.
  for (HWND c = GetWindow(dialog, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
    if (c == text) continue;
    RECT r;
    GetWindowRect(c, &r);
    MapWindowPoints(HWND_DESKTOP, dialog, reinterpret_cast<POINT*>(&r), 2);
    if (r.top >= tr.bottom) {
      SetWindowPos(c, nullptr, r.left + dw / 2, r.top + dh, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
  }
  SetWindowPos(text, nullptr, 0, 0, cur_w + dw, cur_h + dh, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  RECT box;
  GetWindowRect(dialog, &box);
  SetWindowPos(dialog, nullptr, box.left - dw / 2, box.top - dh / 2, box.right - box.left + dw,
               box.bottom - box.top + dh, SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace tapwing::skin
