// The hotkey poll (F7 capture, F5 start, F6 stop) and the clicking run.
#include "window/form1.h"

#include <cstdio>

#include "platform/errors.h"
#include "platform/key_state.h"
#include "platform/text.h"
#include "window/form1_texts.h"
#include "window/number_text.h"

using namespace form1_texts;

namespace {

constexpr int kKeyF5 = 0x74;
constexpr int kKeyF6 = 0x75;
constexpr int kKeyF7 = 0x76;

// Down now and pressed since the previous poll; a held key (0x8000) or a press already over
// (0x0001) does not count.
bool IsTriggered(int virtualKey) { return platform::GetAsyncKeyState(virtualKey) == 0x8001; }

using Operation = void (automation::InputDriver::*)();

struct Action {
  std::string_view name;
  Operation operation;  // null: move only
};

constexpr Action kActionTable[] = {
    {kActions[0], nullptr},
    {kActions[1], &automation::InputDriver::ClickLeft},
    {kActions[2], &automation::InputDriver::DoubleClickLeft},
    {kActions[3], &automation::InputDriver::ClickRight},
    {kActions[4], &automation::InputDriver::ClickMiddle},
    {kActions[5], &automation::InputDriver::WheelUp},
    {kActions[6], &automation::InputDriver::WheelDown},
};

}  // namespace

// The three keys are tested in every poll, in this order and independently.
void Form1::Timer1_Timer() {
  if (IsTriggered(kKeyF7)) CaptureCursor();
  if (IsTriggered(kKeyF5)) StartRun();
  if (IsTriggered(kKeyF6)) StopRun();
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
  } catch (const platform::ComError& error) {
    ReportDriverFailure(error.Status());
  }
}

void Form1::CaptureCursor() {
  try {
    EnsureDriver();
    capturedX = {};
    capturedY = {};
    driver->ReadCursor(capturedX, capturedY);
  } catch (const platform::ComError& error) {
    ReportDriverFailure(error.Status());
    return;
  }
  const std::string separator = system_.DecimalSeparator();
  Text1.SetText(automation::ToDecimalText(capturedX, separator));
  Text2.SetText(automation::ToDecimalText(capturedY, separator));
}

void Form1::StartRun() {
  const std::string separator = system_.DecimalSeparator();
  const bool yIsNumber = number_text::IsNumeric(Text2.Text(), separator);
  const bool xIsNumber = number_text::IsNumeric(Text1.Text(), separator);
  if (!(yIsNumber && xIsNumber)) {
    system_.MsgBox(kNoCoordinates, kHintTitle);
    return;
  }
  // "延时" + milliseconds + "MS": the period is what lies between the first and last two characters.
  const std::string delay = Combo3.Text();
  const std::size_t length = platform::CountChars(delay);
  const auto period = number_text::ToInt32(platform::MidChars(delay, 2, length >= 4 ? length - 4 : 0), separator);
  if (!period || *period <= 0) return;  // the list holds no such entry
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
  if (!driver) driver = std::make_unique<automation::InputDriver>(system_);
}

// The run stops before the one message, so a broken component never shows a box per tick. The
// next capture or run tick creates the object afresh.
void Form1::ReportDriverFailure(std::int32_t status) {
  StopRun();
  driver.reset();
  char message[128];
  std::snprintf(message, sizeof message, "输入组件 korva.dll 不可用,错误代码: 0x%08X",
                static_cast<unsigned>(status));
  system_.MsgBox(message, kHintTitle);
}
