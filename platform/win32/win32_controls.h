// The form's controls as child windows. Each keeps its design (twips, container) so the window
// can lay it out again when the DPI changes.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <string_view>

#include "platform/controls.h"
#include "platform/timer_state.h"

namespace platform::win32 {

// Notifications the picture box sends its parent through WM_COMMAND, like a standard control.
enum : WORD { kPictureClicked = 0x7F01, kPictureGotFocus = 0x7F02 };
inline constexpr wchar_t kPictureClass[] = L"TapwingPicture";

class Control {
 public:
  Control(HWND hwnd, const Control* container, const Bounds& bounds);
  virtual ~Control() = default;
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;

  HWND Handle() const { return hwnd_; }
  static Control* FromHandle(HWND hwnd);

  // Where the control goes at `dpi`, in pixels of the form's client area.
  RECT Placement(UINT dpi) const;
  virtual void Place(UINT dpi);

  // The WM_COMMAND code that says this control got the focus (0: it never takes it).
  virtual WORD FocusCode() const { return 0; }
  virtual TextBox* AsTextBox() { return nullptr; }
  virtual void Notify(WORD code) { (void)code; }

 private:
  HWND hwnd_;
  const Control* container_;
  Bounds bounds_;
};

class FrameControl : public Control, public Frame {
 public:
  using Control::Control;
};

class TextBoxControl : public Control, public TextBox {
 public:
  TextBoxControl(HWND hwnd, const Control* container, const Bounds& bounds);
  std::string Text() const override;
  void SetText(std::string_view text) override;
  WORD FocusCode() const override { return EN_SETFOCUS; }
  TextBox* AsTextBox() override { return this; }
  void Notify(WORD code) override;
};

class ComboListControl : public Control, public ComboList {
 public:
  using Control::Control;
  std::string Text() const override;
  void AddItem(std::string_view text, int index) override;
  void SetListIndex(int index) override;
  WORD FocusCode() const override { return CBN_SETFOCUS; }
  void Place(UINT dpi) override;
};

class PictureBoxControl : public Control, public PictureBox {
 public:
  static void RegisterClass(HINSTANCE instance);

  PictureBoxControl(HWND hwnd, const Bounds& bounds);
  ~PictureBoxControl() override;
  void DrawImage(std::string_view file, int x, int y) override;
  WORD FocusCode() const override { return kPictureGotFocus; }
  void Notify(WORD code) override;

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  void Paint();

  HDC image_;
  HBITMAP bitmap_;
  HGDIOBJ oldBitmap_;
  SIZE size_;
};

// A window timer. A Clock timer keeps its period as well as the system allows: below the
// default 15.6 ms tick it raises the timer resolution while it runs, and it is never coalesced.
class TimerControl : public TimerState {
 public:
  TimerControl(HWND hwnd, UINT_PTR id, int interval, bool enabled, TimerUse use);
  ~TimerControl() override;

 private:
  void Restart() override;
  void SetFineResolution(bool fine);

  HWND hwnd_;
  UINT_PTR id_;
  TimerUse use_;
  bool fineResolution_ = false;
};

}  // namespace platform::win32
