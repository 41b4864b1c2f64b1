// The hotkey poll (F7 capture, F5 start, F6 stop) and the clicking run.
#include "window/form1.h"

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/text.h"
#include "window/form1_texts.h"
#include "window/number_text.h"

using namespace form1_texts;
using platform::Hotkey;

namespace {

using Operation = void (platform::InputDevice::*)();

struct Action {
  std::string_view name;
  Operation operation;  // null: move only
};

constexpr Action kActionTable[] = {
    {kActions[0], nullptr},
    {kActions[1], &platform::InputDevice::ClickLeft},
    {kActions[2], &platform::InputDevice::DoubleClickLeft},
    {kActions[3], &platform::InputDevice::ClickRight},
    {kActions[4], &platform::InputDevice::ClickMiddle},
    {kActions[5], &platform::InputDevice::WheelUp},
    {kActions[6], &platform::InputDevice::WheelDown},
};

}  // namespace

// The three keys are tested in every poll, in this order and independently.
void Form1::Timer1_Timer() {
  if (keyboard_.Pressed(Hotkey::F7)) {
    CaptureCursor();
  } else if (captureWait_ > 0) {
    ReadCapture();
  }
  if (keyboard_.Pressed(Hotkey::F5)) StartRun();
  if (keyboard_.Pressed(Hotkey::F6)) StopRun();
}

void Form1::Timer2_Timer() {
  const std::string xText = Text1.Text();
  const std::string yText = Text2.Text();
  try {
    EnsureDriver();
    const std::string separator = system_.DecimalSeparator();
    const auto y = number_text::ToInt32(yText, separator);
    const auto x = number_text::ToInt32(xText, separator);
    // A field being edited, showing its placeholder or out of range: skip this tick only.
    if (!x || !y) return;
    driver->MoveCursor(*x, *y);
    PerformAction(Combo2.Text());
  } catch (const platform::InputError& error) {
    ReportDriverFailure(error);
  }
}

// Where the desktop first asks the user for the input, the press that asks does nothing else.
void Form1::CaptureCursor() {
  if (!system_.InputAllowed()) return;
  captureWait_ = kCaptureWaitPolls;
  ReadCapture();
}

// A desktop that has not reported the pointer yet is asked again at each poll, for a while: the
// fields take its first report, or stay as they are with one message. Never an older point.
void Form1::ReadCapture() {
  try {
    EnsureDriver();
    capturedX.clear();
    capturedY.clear();
    if (!driver->ReadCursor(capturedX, capturedY)) {
      if (--captureWait_ == 0) ShowMessage(kPointerNotReported, kHintTitle);
      return;
    }
  } catch (const platform::PointerUnreadable& error) {
    captureWait_ = 0;  // the run goes on: only F7 cannot work here
    ShowMessage(error.what(), kHintTitle);
    return;
  } catch (const platform::InputError& error) {
    ReportDriverFailure(error);
    return;
  }
  captureWait_ = 0;
  Text1.SetText(capturedX);
  Text2.SetText(capturedY);
}

void Form1::StartRun() {
  const std::string separator = system_.DecimalSeparator();
  const std::string yText = Text2.Text();
  const std::string xText = Text1.Text();
  const bool yIsNumber = number_text::IsNumeric(yText, separator);
  const bool xIsNumber = number_text::IsNumeric(xText, separator);
  if (!(yIsNumber && xIsNumber)) {
    ShowMessage(kNoCoordinates, kHintTitle);
    return;
  }
  // A number no screen point can have would start a run that never clicks: refuse it here.
  if (!number_text::ToInt32(yText, separator) || !number_text::ToInt32(xText, separator)) {
    ShowMessage(kNotANumber, kHintTitle);
    return;
  }
  // "延时" + milliseconds + "MS": the period is what lies between the first and last two characters.
  const std::string delay = Combo3.Text();
  const std::size_t length = platform::CountChars(delay);
  const auto period = number_text::ToInt32(platform::MidChars(delay, 2, length >= 4 ? length - 4 : 0), separator);
  if (!period || *period <= 0) return;  // the list holds no such entry
  if (!system_.InputAllowed()) return;
  Timer2.SetInterval(*period);
  Timer2.SetEnabled(true);
}

void Form1::StopRun() {
  Timer2.SetInterval(0);
  Timer2.SetEnabled(false);
}

// The first entry whose text matches exactly; an unknown text does nothing.
void Form1::PerformAction(std::string_view action) {
  for (const Action& entry : kActionTable) {
    if (entry.name != action) continue;
    if (entry.operation != nullptr) (driver.get()->*entry.operation)();
    return;
  }
}

void Form1::EnsureDriver() {
  if (!driver) driver = system_.OpenInput();
}

// The run stops before the one message, so a broken device never shows a box per tick. The next
// capture or run tick opens the device afresh.
void Form1::ReportDriverFailure(const platform::InputError& error) {
  StopRun();
  captureWait_ = 0;
  driver.reset();
  ShowMessage(error.what(), kHintTitle);
}
