// The hotkey poll and the clicking run.
#include <string>
#include <utility>
#include <vector>

#include "form1_fixture.h"
#include "window/form1_texts.h"

using form1_texts::kActions;
using form1_texts::kDelays;

class RunTest : public Form1Test {
 protected:
  void SetPoint(const char* x, const char* y) {
    text1().SetText(x);
    text2().SetText(y);
  }
  void Start() { Poll({F5}); }
};

TEST_F(RunTest, EveryPollReadsF7ThenF5ThenF6) {
  Poll({});
  Poll({F7, F5, F6});
  EXPECT_EQ(keyboard.Reads(), (std::vector<platform::Hotkey>{F7, F5, F6, F7, F5, F6}));
}

TEST_F(RunTest, OnePollSeeingF5AndF6HandlesBothAndEndsIdle) {
  SetPoint("10", "20");
  Poll({F5, F6});
  EXPECT_FALSE(timer2().Enabled());
  EXPECT_EQ(timer2().Interval(), 0);
  EXPECT_EQ(timer2().Starts(), 1);  // it did start before F6 stopped it
}

TEST_F(RunTest, CaptureAndStartInOnePollRunsAtTheCapturedPoint) {
  system.input.cursorX = "-1280";
  system.input.cursorY = "77";
  Poll({F7, F5});
  EXPECT_EQ(text1().Text(), "-1280");
  EXPECT_EQ(text2().Text(), "77");
  EXPECT_TRUE(system.messages.empty());
  ASSERT_TRUE(timer2().Fire());
  EXPECT_EQ(calls(), (Calls{"read", "move -1280,77"}));
}

TEST_F(RunTest, F5WithEitherFieldNotANumberShowsOneMessageAndStartsNothing) {
  for (auto [x, y] : {std::pair{"X坐标", "20"}, {"10", "Y坐标"}, {"", "20"}, {"10", ""}, {"X坐标", "Y坐标"}}) {
    SetPoint(x, y);
    system.messages.clear();
    Start();
    EXPECT_FALSE(timer2().Enabled()) << x << "," << y;
    EXPECT_EQ(system.messages, (Messages{{"坐标不能为空", "提示:"}}));
  }
}

TEST_F(RunTest, F5WithANumberOutsideThe32BitRangeRefusesTheStart) {
  for (auto [x, y] : {std::pair{"3000000000", "20"}, {"10", "2147483647.5"}, {"-2147483648.5001", "1"}}) {
    SetPoint(x, y);
    system.messages.clear();
    Start();
    EXPECT_FALSE(timer2().Enabled()) << x << "," << y;
    EXPECT_EQ(system.messages, (Messages{{"请输入正确的数值", "提示:"}}));
  }
  SetPoint("-2147483648.5", "2147483647.4");  // the range's ends, after rounding
  Start();
  EXPECT_TRUE(timer2().Enabled());
}

TEST_F(RunTest, F5WithABadFieldDuringARunKeepsTheOldPeriod) {
  SetPoint("10", "20");
  combo3().SetListIndex(2);
  Start();
  text1().SetText("X坐标");
  combo3().SetListIndex(0);
  Start();
  EXPECT_TRUE(timer2().Enabled());
  EXPECT_EQ(timer2().Interval(), 100);
  EXPECT_EQ(system.messages.size(), 1u);
}

TEST_F(RunTest, F5TakesThePeriodOfEveryDelayEntry) {
  const int periods[] = {10, 50, 100, 500, 1000, 5000, 10000};
  SetPoint("1", "2");
  for (int i = 0; i < 7; ++i) {
    combo3().SetListIndex(i);
    const int starts = timer2().Starts();
    Start();
    EXPECT_EQ(timer2().Interval(), periods[i]) << kDelays[i];
    EXPECT_TRUE(timer2().Enabled());
    EXPECT_GT(timer2().Starts(), starts);  // each F5 starts the period over
  }
}

TEST_F(RunTest, ThePeriodIsReadOnlyAtF5) {
  SetPoint("1", "2");
  combo3().SetListIndex(6);
  Start();
  combo3().SetListIndex(1);
  ASSERT_TRUE(timer2().Fire());
  EXPECT_EQ(timer2().Interval(), 10000);
  Start();
  EXPECT_EQ(timer2().Interval(), 50);
}

TEST_F(RunTest, F6StopsAndIsHarmlessWhenIdle) {
  Poll({F6});
  EXPECT_FALSE(timer2().Enabled());
  SetPoint("1", "2");
  Start();
  Poll({F6});
  EXPECT_FALSE(timer2().Running());
  EXPECT_EQ(timer2().Interval(), 0);
  EXPECT_FALSE(timer2().Fire());
}

TEST_F(RunTest, EachActionMovesThenPerformsItsOneCall) {
  const char* expected[] = {nullptr, "ClickLeft", "DoubleClickLeft", "ClickRight", "ClickMiddle", "WheelUp", "WheelDown"};
  SetPoint("300", "400");
  Start();
  for (int i = 0; i < 7; ++i) {
    system.input.calls.clear();
    combo2().SetListIndex(i);
    ASSERT_TRUE(timer2().Fire());
    Calls wanted{"move 300,400"};
    if (expected[i] != nullptr) wanted.push_back(expected[i]);
    EXPECT_EQ(calls(), wanted) << kActions[i];
  }
}

TEST_F(RunTest, CoordinatesAndActionAreReadInEveryTick) {
  SetPoint("1", "2");
  Start();
  ASSERT_TRUE(timer2().Fire());
  SetPoint("3", "4");
  combo2().SetListIndex(1);
  ASSERT_TRUE(timer2().Fire());
  EXPECT_EQ(calls(), (Calls{"move 1,2", "move 3,4", "ClickLeft"}));
}

TEST_F(RunTest, FractionsRoundHalfToEven) {
  SetPoint("12.5", "13.5");
  Start();
  ASSERT_TRUE(timer2().Fire());
  SetPoint("-0.5", "2.5000001");
  ASSERT_TRUE(timer2().Fire());
  EXPECT_EQ(calls(), (Calls{"move 12,14", "move 0,3"}));
}

TEST_F(RunTest, ATickWithAFieldNotUsableIsSkippedAndTheRunGoesOn) {
  SetPoint("5", "6");
  combo2().SetListIndex(1);
  Start();
  for (const char* bad : {"", "X坐标", "99999999999", "2147483647.5"}) {
    system.input.calls.clear();
    text1().SetText(bad);
    ASSERT_TRUE(timer2().Fire());
    EXPECT_TRUE(calls().empty()) << bad;
  }
  text1().SetText("-2147483648.5");  // rounds to even, inside the range
  ASSERT_TRUE(timer2().Fire());
  EXPECT_EQ(calls(), (Calls{"move -2147483648,6", "ClickLeft"}));
  EXPECT_TRUE(timer2().Running());
  EXPECT_TRUE(system.messages.empty());
}

TEST_F(RunTest, CaptureWritesTheDevicesTextsAndRaisesTheFieldChecks) {
  system.input.cursorX = "1919";
  system.input.cursorY = "-3";
  Poll({F7});
  EXPECT_EQ(text1().Text(), "1919");
  EXPECT_EQ(text2().Text(), "-3");
  EXPECT_TRUE(system.messages.empty());
  Poll({F7});  // the captured values are emptied before each read
  EXPECT_EQ(calls(), (Calls{"read", "read"}));
  EXPECT_EQ(system.input.opened, 1);
}

// A desktop that has not reported the pointer yet: F7 reads again at each poll and fills the
// first report; where none comes in time, or none can come, one message and the fields stay.
TEST_F(RunTest, CaptureWaitsForTheFirstReportThenGivesUpWithOneMessage) {
  SetPoint("1", "2");
  system.input.cursorKnown = false;
  Poll({F7});
  for (int i = 0; i < 50; ++i) Poll({});
  system.input.cursorKnown = true;
  system.input.cursorX = "640";
  system.input.cursorY = "480";
  Poll({});
  EXPECT_EQ(text1().Text(), "640");
  EXPECT_EQ(text2().Text(), "480");
  const auto reads = calls().size();
  Poll({});
  EXPECT_EQ(calls().size(), reads);  // done: no more reads

  system.input.cursorKnown = false;
  Poll({F7});
  for (int i = 0; i < 400; ++i) Poll({});
  EXPECT_EQ(calls().size(), reads + 200);  // two seconds of polls, then no more
  EXPECT_EQ(system.messages, (Messages{{"桌面没有告诉 Tapwing 指针的位置: 请移动一下鼠标, 再按 F7", "提示:"}}));
  EXPECT_EQ(text1().Text(), "640");
}

TEST_F(RunTest, ACaptureWhereThePointerCannotBeReadSaysSoAndTheRunGoesOn) {
  SetPoint("1", "2");
  Start();
  system.input.cursorUnreadable = "读不到";
  Poll({F7});
  Poll({});
  EXPECT_EQ(system.messages, (Messages{{"读不到", "提示:"}}));
  EXPECT_EQ(text1().Text(), "1");
  EXPECT_TRUE(timer2().Running());
}

TEST_F(RunTest, AnUnknownActionTextOnlyMoves) {
  // The list cannot show such a text; the run must still not click.
  combo2().AddItem("左键单击 ", 7);
  combo2().SetListIndex(7);
  SetPoint("1", "1");
  Start();
  ASSERT_TRUE(timer2().Fire());
  EXPECT_EQ(calls(), (Calls{"move 1,1"}));
}

TEST_F(RunTest, ADeviceThatCannotBeOpenedStopsTheRunWithOneMessage) {
  system.openFailure = 0x80040154;
  SetPoint("1", "2");
  Start();
  ASSERT_TRUE(timer2().Fire());
  EXPECT_FALSE(timer2().Running());
  EXPECT_EQ(system.messages, (Messages{{"fake device cannot open", "提示:"}}));
  EXPECT_FALSE(timer2().Fire());

  Poll({F7});  // each later attempt tries again: one message per attempt
  EXPECT_EQ(system.messages.size(), 2u);
  EXPECT_EQ(text1().Text(), "1");

  system.openFailure = 0;
  Start();
  ASSERT_TRUE(timer2().Fire());
  EXPECT_EQ(system.input.opened, 1);
  EXPECT_EQ(calls(), (Calls{"move 1,2"}));
}

TEST_F(RunTest, AFailingOperationStopsTheRunBeforeItsMessageAndClosesTheDevice) {
  SetPoint("1", "2");
  Start();
  ASSERT_TRUE(timer2().Fire());
  system.input.failure = 0x80004005;
  bool runningWhileShown = true;
  system.whileMessageOpen = [&](const fake::Message&) { runningWhileShown = timer2().Running(); };
  EXPECT_TRUE(timer2().Fire());
  EXPECT_FALSE(runningWhileShown);
  EXPECT_EQ(system.messages, (Messages{{"fake device failed", "提示:"}}));
  EXPECT_EQ(system.input.closed, 1);
}

TEST_F(RunTest, APressThatAsksForTheInputDoesNothingElse) {
  SetPoint("1", "2");
  system.inputAllowed = false;
  Poll({F7, F5});
  EXPECT_EQ(system.inputAsked, 2);
  EXPECT_FALSE(timer2().Enabled());
  EXPECT_EQ(text1().Text(), "1");
  EXPECT_TRUE(calls().empty());
  EXPECT_TRUE(system.messages.empty());

  system.inputAllowed = true;  // granted: the next presses capture and start
  system.input.cursorKnown = false;  // the desktop has not reported the pointer yet
  Poll({F7, F5});
  EXPECT_TRUE(timer2().Running());
  EXPECT_EQ(calls(), (Calls{"read"}));
  EXPECT_EQ(text1().Text(), "1");
}

TEST_F(RunTest, InputLostByTheDesktopStopsTheRunBeforeItsOneMessage) {
  SetPoint("1", "2");
  Start();
  ASSERT_TRUE(timer2().Fire());
  bool runningWhileShown = true;
  system.whileMessageOpen = [&](const fake::Message&) { runningWhileShown = timer2().Running(); };
  system.InputLost(platform::DeviceUnavailable(1, "远程桌面", "会话已结束"));
  EXPECT_FALSE(runningWhileShown);
  EXPECT_EQ(system.messages, (Messages{{"输入组件 远程桌面 不可用: 会话已结束", "提示:"}}));
  EXPECT_EQ(system.input.closed, 1);
  Start();  // the next run opens the device afresh
  ASSERT_TRUE(timer2().Fire());
  EXPECT_EQ(system.input.opened, 2);
}

TEST_F(RunTest, TheMessageBoxOfF5LetsThePollGoOn) {
  // While the box is open the modal loop still polls: F6 there stops the run.
  SetPoint("1", "2");
  Start();
  text2().SetText("");
  system.whileMessageOpen = [&](const fake::Message&) {
    system.whileMessageOpen = nullptr;
    Poll({F6});
  };
  Start();
  EXPECT_FALSE(timer2().Enabled());
}

// A held key or a desktop that keeps refusing must not nest box after box: under an open box the
// same box is not opened again, while F7 and other boxes still work; once closed it opens again.
TEST_F(RunTest, APressUnderItsOwnOpenBoxOpensNoSecondOne) {
  SetPoint("X坐标", "2");
  system.input.cursorX = "5";
  system.whileMessageOpen = [&](const fake::Message&) {
    for (int i = 0; i < 10; ++i) Poll({F5});
    system.InputLost(platform::DeviceUnavailable(1, "远程桌面", "拒绝"));  // again under its own box
  };
  Start();
  EXPECT_EQ(system.messages, (Messages{{"坐标不能为空", "提示:"}, {"输入组件 远程桌面 不可用: 拒绝", "提示:"}}));

  system.whileMessageOpen = [&](const fake::Message&) { Poll({F7, F5}); };
  SetPoint("X坐标", "2");
  system.messages.clear();
  Start();
  EXPECT_EQ(system.messages.size(), 1u);
  EXPECT_EQ(text1().Text(), "5");  // F7 captured under the box
}

TEST_F(RunTest, AMoveThatFailsIsFollowedByNoClick) {
  SetPoint("1", "2");
  combo2().SetListIndex(1);
  Start();
  system.input.moveFails = true;
  ASSERT_TRUE(timer2().Fire());
  EXPECT_TRUE(calls().empty());
  EXPECT_FALSE(timer2().Enabled());
  EXPECT_EQ(system.messages.size(), 1u);
}

TEST_F(RunTest, TheDeviceIsOpenedOnceAndClosedWithTheWindow) {
  {
    fake::FormBuilder ui2;
    Form1 other{ui2, system, keyboard};
    other.FillLists();
    other.Text1.SetText("1");
    other.Text2.SetText("2");
    keyboard.Queue(F5, true);
    other.Timer1_Timer();
    other.Timer2_Timer();
    other.Timer2_Timer();
    EXPECT_EQ(system.input.opened, 1);
    EXPECT_EQ(system.input.closed, 0);
  }
  EXPECT_EQ(system.input.closed, 1);
}
