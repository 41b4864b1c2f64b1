// The window's design, its lists, the about prompt, and the start-up sequence.
#include <string>
#include <vector>

#include "form1_fixture.h"
#include "platform/text.h"
#include "window/form1_texts.h"

TEST_F(Form1Test, ControlsAreCreatedInTabOrderWithTheirDesign) {
  EXPECT_EQ(ui.caption, "Tapwing");
  EXPECT_EQ(ui.clientWidth, 3510);
  EXPECT_EQ(ui.clientHeight, 1740);
  ASSERT_EQ(ui.placed.size(), 6u);
  const auto& p = ui.placed;
  EXPECT_EQ(p[0].kind, "frame");
  EXPECT_EQ(p[0].text, "F7获取坐标,F5开始,F6结束");
  const std::vector<std::string> kinds{p[1].kind, p[2].kind, p[3].kind, p[4].kind, p[5].kind};
  EXPECT_EQ(kinds, (std::vector<std::string>{"combo", "combo", "text", "text", "picture"}));
  EXPECT_EQ(p[1].bounds.top, 1080);  // Combo3 first
  EXPECT_EQ(p[3].text, "Y坐标");     // then Combo2, Text2
  EXPECT_EQ(p[4].text, "X坐标");
  EXPECT_EQ(p[4].bounds.left, 360);
  EXPECT_EQ(p[5].text, "Korva,korva@tapwing.example");
  EXPECT_EQ((std::vector<std::string>{p[1].name, p[2].name, p[3].name, p[4].name, p[5].name}),
            (std::vector<std::string>{"延时", "动作", "Y坐标", "X坐标", "Tapwing"}));
  EXPECT_EQ(timer1().Interval(), 10);
  EXPECT_TRUE(timer1().Enabled());
  EXPECT_EQ(timer1().Use(), platform::TimerUse::Poll);
  EXPECT_FALSE(timer2().Enabled());
  EXPECT_EQ(timer2().Interval(), 0);
  EXPECT_EQ(timer2().Use(), platform::TimerUse::Clock);
}

TEST_F(Form1Test, FillListsGivesBothListsTheirEntriesInOrderWithTheFirstSelected) {
  EXPECT_EQ(combo2().Items(), (std::vector<std::string>{"无动作", "左键单击", "左键双击", "右键单击", "中键单击",
                                                         "滚轮向上", "滚轮向下"}));
  EXPECT_EQ(combo3().Items(), (std::vector<std::string>{"延时10MS", "延时50MS", "延时100MS", "延时500MS",
                                                         "延时1000MS", "延时5000MS", "延时10000MS"}));
  EXPECT_EQ(combo2().Text(), "无动作");
  EXPECT_EQ(combo3().Text(), "延时10MS");
}

TEST(DelayEntries, DroppingTwoCharactersAtEachEndLeavesThePeriodDigits) {
  const char* digits[] = {"10", "50", "100", "500", "1000", "5000", "10000"};
  for (int i = 0; i < 7; ++i) {
    const auto entry = form1_texts::kDelays[i];
    EXPECT_EQ(platform::MidChars(entry, 2, platform::CountChars(entry) - 4), digits[i]);
  }
}

TEST_F(Form1Test, ClickingThePictureShowsTheAboutPromptEveryTime) {
  form.Picture1.Click();
  form.Picture1.Click();
  const fake::Message about{"    korva@tapwing.example    ", "作者:Korva"};
  EXPECT_EQ(system.messages, (Messages{about, about}));
  EXPECT_EQ(text1().Text(), "X坐标");
}

TEST_F(Form1Test, StartUpRegistersAttachesDrawsAndFillsInThatOrder) {
  fake::FormBuilder freshUi;
  Form1 fresh{freshUi, system, keyboard};
  auto& picture = Fake<fake::PictureBox>(fresh.Picture1);
  fresh.Form_Load();
  EXPECT_EQ(system.chores, (std::vector<std::string>{"register /opt/Tapwing/korva.dll", "skin /opt/Tapwing/Korva.Skin"}));
  EXPECT_EQ(picture.drawn, std::vector<std::string>{"/opt/Tapwing/Tapwing.PNG 0 -10"});
  EXPECT_EQ(Fake<fake::ComboList>(fresh.Combo2).Text(), "无动作");
  EXPECT_EQ(Fake<fake::ComboList>(fresh.Combo3).Text(), "延时10MS");
  EXPECT_EQ(system.ends, 0);
  EXPECT_TRUE(system.messages.empty());
}

TEST_F(Form1Test, ASecondCopyEndsAtOnceDoingNothing) {
  fake::FormBuilder freshUi;
  Form1 fresh{freshUi, system, keyboard};
  system.prevInstance = true;
  fresh.Form_Load();
  EXPECT_EQ(system.ends, 1);
  EXPECT_TRUE(system.chores.empty());
  EXPECT_TRUE(Fake<fake::PictureBox>(fresh.Picture1).drawn.empty());
  EXPECT_TRUE(Fake<fake::ComboList>(fresh.Combo2).Items().empty());
}
