// Form1: Tapwing's only window. It holds the controls, fills the two lists, and handles the ten
// control events: start-up, the about prompt, the coordinate fields, the hotkey poll and the
// clicking run. It speaks to the system only through platform/'s interfaces; the backend raises
// the events on the window's thread.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/controls.h"
#include "platform/input_device.h"
#include "platform/keyboard.h"
#include "platform/services.h"

class Form1 {
 public:
  Form1(platform::FormBuilder& ui, platform::Services& system, platform::Keyboard& keyboard);
  ~Form1();

  void Form_Load();
  void Picture1_Click();
  void Text1_Change();
  void Text1_GotFocus();
  void Text1_LostFocus();
  void Text2_Change();
  void Text2_GotFocus();
  void Text2_LostFocus();
  void Timer1_Timer();
  void Timer2_Timer();

  void FillLists();

  // An F7 still waits for the desktop to report the pointer: the poll must keep ticking.
  bool CaptureWaiting() const { return captureWait_ > 0; }

  // Controls, created in this order: the tab order.
  platform::Timer& Timer2;
  platform::Timer& Timer1;
  platform::Frame& Frame1;
  platform::ComboList& Combo3;
  platform::ComboList& Combo2;
  platform::TextBox& Text2;
  platform::TextBox& Text1;
  platform::PictureBox& Picture1;

 private:
  void CaptureCursor();
  void ReadCapture();
  void StartRun();
  void StopRun();
  void PerformAction(std::string_view action);
  void EnsureDriver();
  void ReportDriverFailure(const platform::InputError& error);
  void CheckCoordinate(platform::TextBox& field, std::string_view placeholder);
  void ShowMessage(std::string_view prompt, std::string_view title);

  platform::Services& system_;
  platform::Keyboard& keyboard_;
  std::unique_ptr<platform::InputDevice> driver;
  // The pointer position of the last capture, as the device reports it.
  std::string capturedX;
  std::string capturedY;
  // Polls left for an F7 whose desktop has not reported the pointer yet: two seconds of them.
  static constexpr int kCaptureWaitPolls = 200;
  int captureWait_ = 0;
  // The boxes open now, innermost last: the poll runs on under a modal box.
  std::vector<std::string> openMessages_;
};
