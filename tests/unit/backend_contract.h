// The contract between Form1 and every backend, as typed tests. A backend's test file defines
// an adaptor with the members below and instantiates the suite with it:
//
//   INSTANTIATE_TYPED_TEST_SUITE_P(Fake, BackendContract, FakeBackend);
//
// Adaptor members (one adaptor object per test, created by the fixture):
//   platform::FormBuilder& Ui();          a fresh form; SetForm is already called
//   platform::Services& System();
//   void RunUntil(std::function<bool()> done, int limitMs);   runs the event loop until done()
//                                         or the limit; real time or virtual, as the backend has
//   void Stall(int ms);                   keeps the loop's thread busy without running events,
//                                         as a slow handler would (call it from a handler)
//   void Focus(platform::TextBox& box);   gives a control the focus as a user's click would
//   void Focus(platform::ComboList& list);
//   void LeaveAndReturn();                another application takes the activation, then gives
//                                         it back
//   std::optional<MessageBoxView> OpenMessageBox();   the box now open, if any (from a handler
//                                         that runs while it is open)
//   void DismissMessageBox();             answers the open box with its button
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/controls.h"
#include "platform/services.h"

struct MessageBoxView {
  std::string title, prompt;
  bool modal = false;
  bool icon = false;
  std::vector<std::string> buttons;
};

template <typename Backend>
class BackendContract : public ::testing::Test {
 protected:
  Backend backend;
  platform::Bounds Box(int left) { return {left, 300, 555, 270}; }
};

TYPED_TEST_SUITE_P(BackendContract);

TYPED_TEST_P(BackendContract, AssigningATextRaisesChangeBeforeSetTextReturns) {
  auto& ui = this->backend.Ui();
  auto& frame = ui.AddFrame({1058, 60, 2415, 1575}, "frame");
  auto& box = ui.AddTextBox(frame, this->Box(360), "X坐标");
  std::vector<std::string> seen;
  box.Change = [&] { seen.push_back(box.Text()); };
  box.SetText("12");
  box.SetText("");
  EXPECT_EQ(seen, (std::vector<std::string>{"12", ""}));
}

TYPED_TEST_P(BackendContract, FocusEventsFireOnlyWhenTheFocusMovesBetweenControls) {
  auto& ui = this->backend.Ui();
  auto& frame = ui.AddFrame({1058, 60, 2415, 1575}, "frame");
  auto& list = ui.AddComboList(frame, {360, 1080, 1635, 300}, "延时");
  auto& first = ui.AddTextBox(frame, this->Box(1440), "Y坐标");
  auto& second = ui.AddTextBox(frame, this->Box(360), "X坐标");
  std::vector<std::string> events;
  first.GotFocus = [&] { events.push_back("first got"); };
  first.LostFocus = [&] { events.push_back("first lost"); };
  second.GotFocus = [&] { events.push_back("second got"); };
  second.LostFocus = [&] { events.push_back("second lost"); };
  const auto settle = [&] { this->backend.RunUntil([] { return false; }, 50); };

  this->backend.Focus(list);
  settle();
  this->backend.Focus(first);
  settle();
  this->backend.Focus(second);
  settle();
  this->backend.LeaveAndReturn();
  settle();
  this->backend.Focus(list);
  settle();
  EXPECT_EQ(events, (std::vector<std::string>{"first got", "first lost", "second got", "second lost"}));
}

// A 10 ms timer whose handler once keeps the loop busy for 55 ms: the ticks that fell due meanwhile
// are dropped, so 200 ms hold at most the 20 the period allows minus the 5 stalled over, plus one
// for where the grid starts.
TYPED_TEST_P(BackendContract, ALateTickIsDroppedNotMadeUp) {
  auto& timer = this->backend.Ui().AddTimer(10, true, platform::TimerUse::Clock);
  int ticks = 0;
  timer.Tick = [&] {
    if (++ticks == 3) this->backend.Stall(55);
  };
  bool over = false;
  auto& end = this->backend.Ui().AddTimer(200, true, platform::TimerUse::Poll);
  end.Tick = [&] {
    over = true;
    timer.SetEnabled(false);
    end.SetEnabled(false);
  };
  this->backend.RunUntil([&] { return over; }, 5000);
  ASSERT_TRUE(over);
  EXPECT_GE(ticks, 3);
  EXPECT_LE(ticks, 16);
}

TYPED_TEST_P(BackendContract, TimersTickWhileAModalOkOnlyMessageBoxIsOpen) {
  auto& timer = this->backend.Ui().AddTimer(10, true, platform::TimerUse::Poll);
  int ticks = 0;
  int ticksWhileOpen = -1;
  std::optional<MessageBoxView> seen;
  timer.Tick = [&] {
    ++ticks;
    if (ticks == 1) {
      this->backend.System().MsgBox("坐标不能为空", "提示:");
      ticksWhileOpen = ticks - 1;
    } else if (ticks == 6) {
      seen = this->backend.OpenMessageBox();
      this->backend.DismissMessageBox();
    }
  };
  this->backend.RunUntil([&] { return ticksWhileOpen >= 0; }, 5000);
  timer.SetEnabled(false);
  EXPECT_GE(ticksWhileOpen, 5);
  ASSERT_TRUE(seen.has_value());
  EXPECT_EQ(seen->title, "提示:");
  EXPECT_EQ(seen->prompt, "坐标不能为空");
  EXPECT_TRUE(seen->modal);
  EXPECT_FALSE(seen->icon);
  EXPECT_EQ(seen->buttons.size(), 1u);
}

REGISTER_TYPED_TEST_SUITE_P(BackendContract, AssigningATextRaisesChangeBeforeSetTextReturns,
                            FocusEventsFireOnlyWhenTheFocusMovesBetweenControls, ALateTickIsDroppedNotMadeUp,
                            TimersTickWhileAModalOkOnlyMessageBoxIsOpen);
