#include "platform/win32/win32_form_window.h"

#include <commctrl.h>

#include <exception>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/layout.h"
#include "platform/win32/lazy_proc.h"
#include "platform/win32/win32_process.h"
#include "screen_facts.h"
#include "skin_format.h"

namespace platform::win32 {
namespace {

constexpr wchar_t kFormClass[] = L"TapwingForm";
// Fixed single border. No WS_CLIPCHILDREN: the group box paints no interior, the form does.
constexpr DWORD kFormStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;
constexpr DWORD kFormExStyle = 0;
constexpr int kIconResource = 1;

RECT FrameFor(SIZE client, UINT dpi) {
  RECT rect{0, 0, client.cx, client.cy};
  using AdjustForDpiFn = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);
  static LazyProc<AdjustForDpiFn> adjustForDpi{{"user32", Search::System}, "AdjustWindowRectExForDpi"};
  try {
    if (adjustForDpi(&rect, kFormStyle, FALSE, kFormExStyle, dpi)) return rect;
  } catch (const BindError&) {
  }
  AdjustWindowRectEx(&rect, kFormStyle, FALSE, kFormExStyle);
  return rect;
}

// The interface texts are Chinese, and the default dialog font of a Western system has no
// Chinese glyphs: the skin's face list, as the skin library picks from it.
std::wstring ChooseFace() {
  std::vector<std::wstring> faces;
  for (const std::u16string& face : tapwing::skin::Skin{}.font_faces) faces.emplace_back(face.begin(), face.end());
  return tapwing::screen::ChooseChineseFace(faces);
}

}  // namespace

FormWindow::FormWindow(HINSTANCE instance) : instance_(instance) {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);

  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = &FormWindow::WindowProc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kFormClass;
  wc.hIcon = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(kIconResource), IMAGE_ICON,
                                           GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), 0));
  wc.hIconSm = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(kIconResource), IMAGE_ICON,
                                             GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
  RegisterClassExW(&wc);
  PictureBoxControl::RegisterClass(instance);
}

FormWindow::~FormWindow() { Destroy(); }

void FormWindow::Destroy() {
  if (hwnd_ == nullptr) return;
  HWND hwnd = hwnd_;
  hwnd_ = nullptr;  // no events from here on
  DestroyWindow(hwnd);
  PostQuitMessage(0);
  timers_.clear();
  controls_.clear();
}

void FormWindow::SetForm(std::string_view caption, int clientWidth, int clientHeight) {
  client_ = {clientWidth, clientHeight};
  CreateWindowExW(kFormExStyle, kFormClass, Wide(caption).c_str(), kFormStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                  CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance_, this);
  dpi_ = tapwing::screen::WindowDpi(hwnd_);
  const SIZE size = WindowSize();
  SetWindowPos(hwnd_, nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  UpdateFont();
}

SIZE FormWindow::WindowSize() const {
  const RECT frame = FrameFor({TwipsToPixels(client_.cx, dpi_), TwipsToPixels(client_.cy, dpi_)}, dpi_);
  return {frame.right - frame.left, frame.bottom - frame.top};
}

// The old font goes only after every control has taken the new one.
void FormWindow::UpdateFont() {
  static const std::wstring face = ChooseFace();
  UniqueFont font(CreateFontW(-MulDiv(9, static_cast<int>(dpi_), 72), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                              DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY,
                              DEFAULT_PITCH | FF_DONTCARE, face.c_str()));
  for (const auto& control : controls_)
    SendMessageW(control->Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), TRUE);
  font_.swap(font);
}

HWND FormWindow::CreateChild(const wchar_t* windowClass, DWORD style, DWORD exStyle, std::string_view text) {
  const int id = static_cast<int>(controls_.size()) + 100;
  HWND child = CreateWindowExW(exStyle, windowClass, Wide(text).c_str(), WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | style,
                               0, 0, 0, 0, hwnd_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance_, nullptr);
  SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
  return child;
}

template <typename T>
T& FormWindow::Keep(std::unique_ptr<T> control) {
  T& kept = *control;
  kept.Place(dpi_);
  controls_.push_back(std::move(control));
  // New children go below their siblings; frames must stay below everything they hold, or they
  // would clip it away.
  for (const auto& each : controls_) {
    if (dynamic_cast<FrameControl*>(each.get()) != nullptr)
      SetWindowPos(each->Handle(), HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  }
  return kept;
}

Frame& FormWindow::AddFrame(const Bounds& bounds, std::string_view caption) {
  HWND frame = CreateChild(L"BUTTON", BS_GROUPBOX, 0, caption);  // never takes the focus
  return Keep(std::make_unique<FrameControl>(frame, nullptr, bounds));
}

TextBox& FormWindow::AddTextBox(const Frame& container, const Bounds& bounds, std::string_view text) {
  HWND edit = CreateChild(L"EDIT", WS_TABSTOP | ES_AUTOHSCROLL | ES_LEFT, WS_EX_CLIENTEDGE, text);
  return Keep(std::make_unique<TextBoxControl>(edit, &dynamic_cast<const FrameControl&>(container), bounds));
}

ComboList& FormWindow::AddComboList(const Frame& container, const Bounds& bounds, std::string_view) {
  HWND combo = CreateChild(L"COMBOBOX", WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST, 0, "");
  return Keep(std::make_unique<ComboListControl>(combo, &dynamic_cast<const FrameControl&>(container), bounds));
}

PictureBox& FormWindow::AddPictureBox(const Bounds& bounds, std::string_view toolTip, std::string_view) {
  HWND picture = CreateChild(kPictureClass, WS_TABSTOP, 0, "");
  auto& kept = Keep(std::make_unique<PictureBoxControl>(picture, bounds));

  tooltip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                             CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd_, nullptr, instance_, nullptr);
  toolTip_ = Wide(toolTip);
  TOOLINFOW tool{};
  tool.cbSize = TTTOOLINFOW_V2_SIZE;  // understood by every comctl32 version
  tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  tool.hwnd = hwnd_;
  tool.uId = reinterpret_cast<UINT_PTR>(picture);
  tool.lpszText = toolTip_.data();
  SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
  return kept;
}

Timer& FormWindow::AddTimer(int interval, bool enabled, TimerUse use) {
  const UINT_PTR id = timers_.size() + 1;
  timers_.push_back(std::make_unique<TimerControl>(hwnd_, id, interval, enabled, use));
  return *timers_.back();
}

void FormWindow::Show() {
  const SIZE size = WindowSize();
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  GetMonitorInfoW(MonitorFromWindow(hwnd_, MONITOR_DEFAULTTOPRIMARY), &monitor);
  const RECT& work = monitor.rcWork;
  SetWindowPos(hwnd_, nullptr, work.left + (work.right - work.left - size.cx) / 2,
               work.top + (work.bottom - work.top - size.cy) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  ShowWindow(hwnd_, SW_SHOW);
  UpdateWindow(hwnd_);
  if (HWND first = GetNextDlgTabItem(hwnd_, nullptr, FALSE)) SetFocus(first);
}

int FormWindow::RunMessageLoop() {
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    // Tab and Shift+Tab move between the controls as in a dialog.
    if (hwnd_ != nullptr && IsDialogMessageW(hwnd_, &message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return static_cast<int>(message.wParam);
}

LRESULT CALLBACK FormWindow::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* self = static_cast<FormWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    self->hwnd_ = hwnd;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<FormWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (self == nullptr || self->hwnd_ != hwnd) return DefWindowProcW(hwnd, message, wParam, lParam);
  // No exception may cross the system's frames; an untrapped failure ends the program.
  try {
    return self->HandleMessage(message, wParam, lParam);
  } catch (const std::exception& failure) {
    self->ReportFailure(failure.what());
  }
  return 0;
}

LRESULT FormWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      if (lParam != 0) OnCommand(reinterpret_cast<HWND>(lParam), HIWORD(wParam));
      return 0;  // Enter and Esc (IDOK, IDCANCEL) do nothing
    case WM_TIMER:
      if (wParam >= 1 && wParam <= timers_.size()) {
        TimerControl& timer = *timers_[wParam - 1];
        if (timer.Running() && timer.Tick) timer.Tick();  // never after it was stopped
      }
      return 0;
    case WM_ACTIVATE:
      OnActivate(LOWORD(wParam) != WA_INACTIVE);
      return 0;
    case WM_DPICHANGED:
      OnDpiChanged(HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    case WM_NCDESTROY:
      hwnd_ = nullptr;
      return 0;
  }
  return DefWindowProcW(hwnd_, message, wParam, lParam);
}

void FormWindow::OnCommand(HWND child, WORD code) {
  Control* control = Control::FromHandle(child);
  if (control == nullptr || GetParent(child) != hwnd_) return;
  if (code != 0 && code == control->FocusCode()) {
    focus_.Enter(control, control->AsTextBox());
    return;
  }
  control->Notify(code);
}

// The focus leaves with the window and comes back to the same control; the focus tracker sees
// that nothing moved inside the form.
void FormWindow::OnActivate(bool active) {
  if (!active) {
    HWND focus = GetFocus();
    if (focus != nullptr && IsChild(hwnd_, focus)) focusBeforeDeactivation_ = focus;
    return;
  }
  HWND target = focusBeforeDeactivation_;
  if (target == nullptr || !IsWindow(target)) target = GetNextDlgTabItem(hwnd_, nullptr, FALSE);
  if (target != nullptr) SetFocus(target);
}

void FormWindow::OnDpiChanged(UINT dpi, const RECT& suggested) {
  dpi_ = dpi;
  UpdateFont();
  for (const auto& control : controls_) control->Place(dpi_);
  const SIZE size = WindowSize();
  SetWindowPos(hwnd_, nullptr, suggested.left, suggested.top, size.cx, size.cy, SWP_NOZORDER | SWP_NOACTIVATE);
}

void FormWindow::ReportFailure(const char* what) {
  const std::wstring text = L"Tapwing 遇到无法处理的错误,将要退出:\n" + Wide(what);
  MessageBoxW(hwnd_, text.c_str(), L"Tapwing", MB_OK | MB_ICONERROR);
  Destroy();
}

}  // namespace platform::win32
