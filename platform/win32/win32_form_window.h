// The form as a Win32 top-level window: it creates the controls the form asks for, lays them out
// in twips at the window's DPI, and turns window messages into the controls' events. The window
// procedure only translates; all behaviour lives in the form's handlers.
//
// Implemented: every control of platform/controls.h, per-monitor DPI, Tab and Shift+Tab, focus
// events between controls only, timers that never tick after being stopped.
// Not done here: accessible names (Windows takes a control's name from its text or label; the
// form's controls keep the system's default).
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/controls.h"
#include "platform/focus_tracker.h"
#include "platform/win32/win32_controls.h"
#include "platform/win32/win32_process.h"

namespace platform::win32 {

class FormWindow : public FormBuilder {
 public:
  explicit FormWindow(HINSTANCE instance);
  ~FormWindow() override;
  FormWindow(const FormWindow&) = delete;
  FormWindow& operator=(const FormWindow&) = delete;

  void SetForm(std::string_view caption, int clientWidth, int clientHeight) override;
  Frame& AddFrame(const Bounds& bounds, std::string_view caption) override;
  TextBox& AddTextBox(const Frame& container, const Bounds& bounds, std::string_view text) override;
  ComboList& AddComboList(const Frame& container, const Bounds& bounds, std::string_view name) override;
  PictureBox& AddPictureBox(const Bounds& bounds, std::string_view toolTip, std::string_view name) override;
  Timer& AddTimer(int interval, bool enabled, TimerUse use) override;

  // The window handle; null until SetForm and after the window is destroyed.
  HWND Handle() const { return hwnd_; }

  // Shows the window centred on the screen with the focus on the first control that takes it.
  void Show();
  // Runs until the window is destroyed; returns the exit code.
  int RunMessageLoop();
  // Destroys the window and its controls; their events are not raised any more.
  void Destroy();

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
  void OnCommand(HWND child, WORD code);
  void OnActivate(bool active);
  void OnDpiChanged(UINT dpi, const RECT& suggested);
  void ReportFailure(const char* what);

  HWND CreateChild(const wchar_t* windowClass, DWORD style, DWORD exStyle, std::string_view text);
  template <typename T>
  T& Keep(std::unique_ptr<T> control);
  void UpdateFont();
  SIZE WindowSize() const;

  HINSTANCE instance_;
  HWND hwnd_ = nullptr;
  HWND tooltip_ = nullptr;
  UniqueFont font_;
  UINT dpi_ = 96;
  SIZE client_{};  // twips
  std::vector<std::unique_ptr<Control>> controls_;
  std::vector<std::unique_ptr<TimerControl>> timers_;
  FocusTracker focus_;
  HWND focusBeforeDeactivation_ = nullptr;
  std::wstring toolTip_;
};

}  // namespace platform::win32
