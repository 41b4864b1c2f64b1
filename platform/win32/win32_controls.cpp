#include "platform/win32/win32_controls.h"

#include <string>
#include <string_view>

#include "platform/layout.h"
#include "platform/win32/lazy_proc.h"
#include "platform/win32/module1.h"
#include "platform/win32/win32_process.h"
#include "screen_facts.h"

namespace platform::win32 {
namespace {

std::string WindowText(HWND hwnd) {
  std::wstring text(GetWindowTextLengthW(hwnd) + 1, L'\0');
  text.resize(GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size())));
  return Utf8(text);
}

}  // namespace

Control::Control(HWND hwnd, const Control* container, const Bounds& bounds)
    : hwnd_(hwnd), container_(container), bounds_(bounds) {
  SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

Control* Control::FromHandle(HWND hwnd) {
  return reinterpret_cast<Control*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
}

RECT Control::Placement(UINT dpi) const {
  const PixelBounds at = PlaceInPixels(bounds_, container_ != nullptr ? &container_->bounds_ : nullptr, dpi);
  return {at.left, at.top, at.left + at.width, at.top + at.height};
}

void Control::Place(UINT dpi) {
  const RECT r = Placement(dpi);
  MoveWindow(hwnd_, r.left, r.top, r.right - r.left, r.bottom - r.top, TRUE);
}

TextBoxControl::TextBoxControl(HWND hwnd, const Control* container, const Bounds& bounds)
    : Control(hwnd, container, bounds) {
  SendMessageW(hwnd, EM_SETLIMITTEXT, 0, 0);  // no length limit
}

std::string TextBoxControl::Text() const { return WindowText(Handle()); }

// The edit control sends EN_CHANGE before SetWindowText returns, so Change runs synchronously.
void TextBoxControl::SetText(std::string_view text) { SetWindowTextW(Handle(), Wide(text).c_str()); }

void TextBoxControl::Notify(WORD code) {
  if (code == EN_CHANGE && Change) Change();
}

std::string ComboListControl::Text() const {
  const LRESULT index = SendMessageW(Handle(), CB_GETCURSEL, 0, 0);
  if (index == CB_ERR) return {};
  std::wstring text(SendMessageW(Handle(), CB_GETLBTEXTLEN, index, 0) + 1, L'\0');
  const LRESULT length = SendMessageW(Handle(), CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(text.data()));
  text.resize(length == CB_ERR ? 0 : length);
  return Utf8(text);
}

void ComboListControl::AddItem(std::string_view text, int index) {
  SendMessageW(Handle(), CB_INSERTSTRING, index, reinterpret_cast<LPARAM>(Wide(text).c_str()));
}

void ComboListControl::SetListIndex(int index) { SendMessageW(Handle(), CB_SETCURSEL, index, 0); }

// The designed height is the closed box's; the window itself also spans the dropped-down list.
// How much edge the box draws around its item differs between systems, so measure it. (Wine
// keeps a font-based minimum: 22 pixels with its CJK font at 9 points.)
void ComboListControl::Place(UINT dpi) {
  const RECT r = Placement(dpi);
  const int boxHeight = r.bottom - r.top;
  const auto setItemHeight = [this](int height) {
    SendMessageW(Handle(), CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), height);
    SendMessageW(Handle(), CB_SETITEMHEIGHT, 0, height);
  };
  int itemHeight = boxHeight - 6;
  setItemHeight(itemHeight);
  MoveWindow(Handle(), r.left, r.top, r.right - r.left, boxHeight + 8 * itemHeight, TRUE);
  RECT shown;
  GetWindowRect(Handle(), &shown);
  if (const int excess = (shown.bottom - shown.top) - boxHeight; excess != 0 && itemHeight - excess > 0) {
    itemHeight -= excess;
    setItemHeight(itemHeight);
    MoveWindow(Handle(), r.left, r.top, r.right - r.left, boxHeight + 8 * itemHeight, TRUE);
  }
}

void PictureBoxControl::RegisterClass(HINSTANCE instance) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = &PictureBoxControl::WindowProc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.lpszClassName = kPictureClass;
  RegisterClassExW(&wc);
}

// The image keeps the designed pixel size; at other DPIs it is stretched when painted.
PictureBoxControl::PictureBoxControl(HWND hwnd, const Bounds& bounds)
    : Control(hwnd, nullptr, bounds), size_{TwipsToPixels(bounds.width, 96), TwipsToPixels(bounds.height, 96)} {
  const tapwing::screen::WindowDC screen;
  image_ = CreateCompatibleDC(screen);
  bitmap_ = CreateCompatibleBitmap(screen, size_.cx, size_.cy);
  oldBitmap_ = SelectObject(image_, bitmap_);
  const RECT all{0, 0, size_.cx, size_.cy};
  FillRect(image_, &all, GetSysColorBrush(COLOR_BTNFACE));
}

PictureBoxControl::~PictureBoxControl() {
  SelectObject(image_, oldBitmap_);
  DeleteObject(bitmap_);
  DeleteDC(image_);
}

// GDI+ draws into the box's memory DC, which keeps the image for every repaint.
void PictureBoxControl::DrawImage(std::string_view file, int x, int y) {
  Module1::DrawImageFile(file, reinterpret_cast<std::uintptr_t>(image_), x, y);
  InvalidateRect(Handle(), nullptr, FALSE);
}

void PictureBoxControl::Notify(WORD code) {
  if (code == kPictureClicked && Click) Click();
}

void PictureBoxControl::Paint() {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(Handle(), &paint);
  RECT client;
  GetClientRect(Handle(), &client);
  if (client.right == size_.cx && client.bottom == size_.cy) {
    BitBlt(dc, 0, 0, size_.cx, size_.cy, image_, 0, 0, SRCCOPY);
  } else {
    SetStretchBltMode(dc, HALFTONE);
    SetBrushOrgEx(dc, 0, 0, nullptr);
    StretchBlt(dc, 0, 0, client.right, client.bottom, image_, 0, 0, size_.cx, size_.cy, SRCCOPY);
  }
  EndPaint(Handle(), &paint);
}

LRESULT CALLBACK PictureBoxControl::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = static_cast<PictureBoxControl*>(Control::FromHandle(hwnd));
  const auto tell = [hwnd](WORD code) {
    SendMessageW(GetParent(hwnd), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(hwnd), code), reinterpret_cast<LPARAM>(hwnd));
  };
  switch (message) {
    case WM_PAINT:
      if (self == nullptr) break;
      self->Paint();
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_GETDLGCODE:
      return DLGC_WANTARROWS;  // arrows do nothing here rather than move the focus
    case WM_SETFOCUS:
      tell(kPictureGotFocus);
      return 0;
    case WM_LBUTTONDOWN:
      SetFocus(hwnd);
      SetCapture(hwnd);
      return 0;
    case WM_LBUTTONUP: {
      if (GetCapture() != hwnd) return 0;
      ReleaseCapture();
      RECT client;
      GetClientRect(hwnd, &client);
      const POINT at{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
      if (PtInRect(&client, at)) tell(kPictureClicked);
      return 0;
    }
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

TimerControl::TimerControl(HWND hwnd, UINT_PTR id, int interval, bool enabled, TimerUse use)
    : TimerState(interval, enabled), hwnd_(hwnd), id_(id), use_(use) {
  Restart();
}

TimerControl::~TimerControl() {
  KillTimer(hwnd_, id_);
  SetFineResolution(false);
}

// Setting the timer again starts its period over.
void TimerControl::Restart() {
  if (!Running()) {
    KillTimer(hwnd_, id_);
    SetFineResolution(false);
    return;
  }
  const UINT period = static_cast<UINT>(Interval());
  if (use_ == TimerUse::Clock) {
    SetFineResolution(Interval() < 16);
    using SetCoalescableTimerFn = UINT_PTR(WINAPI*)(HWND, UINT_PTR, UINT, TIMERPROC, ULONG);
    static LazyProc<SetCoalescableTimerFn> setCoalescableTimer{{"user32", Search::System}, "SetCoalescableTimer"};
    try {
      constexpr ULONG kNoCoalescing = 0xFFFFFFFF;  // TIMERV_NO_COALESCING
      if (setCoalescableTimer(hwnd_, id_, period, nullptr, kNoCoalescing) != 0) return;
    } catch (const BindError&) {
      // Before Windows 8 every window timer is uncoalesced anyway.
    }
  }
  SetTimer(hwnd_, id_, period, nullptr);
}

void TimerControl::SetFineResolution(bool fine) {
  if (fine == fineResolution_) return;
  using TimePeriodFn = UINT(WINAPI*)(UINT);
  static LazyProc<TimePeriodFn> timeBeginPeriod{{"winmm", Search::System}, "timeBeginPeriod"};
  static LazyProc<TimePeriodFn> timeEndPeriod{{"winmm", Search::System}, "timeEndPeriod"};
  try {
    fine ? timeBeginPeriod(1) : timeEndPeriod(1);
    fineResolution_ = fine;
  } catch (const BindError&) {
    // Without winmm the timer keeps the system's default tick.
  }
}

}  // namespace platform::win32
