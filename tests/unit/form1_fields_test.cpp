// The coordinate fields: placeholders, emptying on entry, and the numbers-only rule.
#include <string>
#include <vector>

#include "form1_fixture.h"

const fake::Message kRejected{"请输入正确的数值", "提示:"};

class FieldsTest : public Form1Test {
 protected:
  void Focus(platform::TextBox& box) { ui.Focus(box); }
  void Focus(const void* control) { ui.Focus(control); }
};

TEST_F(FieldsTest, FocusEmptiesAFieldAndLeavingItEmptyRestoresThePlaceholder) {
  Focus(&form.Combo3);
  Focus(form.Text1);
  EXPECT_EQ(text1().Text(), "");
  Focus(form.Text2);
  EXPECT_EQ(text1().Text(), "X坐标");
  EXPECT_EQ(text2().Text(), "");
  Focus(&form.Picture1);
  EXPECT_EQ(text2().Text(), "Y坐标");
  EXPECT_TRUE(system.messages.empty());
}

TEST_F(FieldsTest, EnteringAFieldEmptiesEvenANumberAndLeavingDoesNotBringItBack) {
  Focus(form.Text1);
  text1().Type("350");
  Focus(&form.Combo2);
  EXPECT_EQ(text1().Text(), "350");
  Focus(form.Text1);
  EXPECT_EQ(text1().Text(), "");
  Focus(&form.Combo2);
  EXPECT_EQ(text1().Text(), "X坐标");
}

TEST_F(FieldsTest, ReturningToTheSameControlRaisesNothing) {
  // The window was deactivated and reactivated: the focus comes back to the same field.
  Focus(form.Text1);
  text1().Type("42");
  Focus(form.Text1);
  EXPECT_EQ(text1().Text(), "42");
}

TEST_F(FieldsTest, TypingRejectsTheFirstKeystrokeThatIsNotANumber) {
  Focus(form.Text1);
  std::vector<std::string> seen;
  system.whileMessageOpen = [&](const fake::Message&) { seen.push_back(text1().Text()); };
  text1().Type("35a");
  EXPECT_EQ(system.messages, Messages{kRejected});
  EXPECT_EQ(seen, std::vector<std::string>{"35a"});  // the box shows before the field is emptied
  EXPECT_EQ(text1().Text(), "");
}

// The poll goes on while the box is open: a capture there replaced the refused text, and a run
// started on it must find it still there.
TEST_F(FieldsTest, ACaptureMadeWhileTheRejectionIsShownStays) {
  system.input.cursorX = "300";
  system.input.cursorY = "200";
  Focus(form.Text1);
  system.whileMessageOpen = [&](const fake::Message&) {
    system.whileMessageOpen = nullptr;
    Poll({F7});
    Poll({F5});
  };
  text1().Type("3a");
  EXPECT_EQ(text1().Text(), "300");
  ASSERT_TRUE(timer2().Fire());
  EXPECT_EQ(calls(), (Calls{"read", "move 300,200"}));
}

TEST_F(FieldsTest, AMinusTypedFirstIsRejectedButAPastedNegativeNumberPasses) {
  Focus(form.Text2);
  text2().Type("-");
  EXPECT_EQ(system.messages, Messages{kRejected});
  text2().SetText("-120");
  EXPECT_EQ(system.messages.size(), 1u);
  EXPECT_EQ(text2().Text(), "-120");
}

TEST_F(FieldsTest, PlaceholderAndEmptyTextsRaiseNoMessage) {
  text1().SetText("");
  text1().SetText("X坐标");
  text2().SetText("Y坐标");
  text2().SetText("");
  EXPECT_TRUE(system.messages.empty());
}

TEST_F(FieldsTest, TheOtherFieldsPlaceholderIsNotANumber) {
  text1().SetText("Y坐标");
  EXPECT_EQ(system.messages, Messages{kRejected});
  EXPECT_EQ(text1().Text(), "");
}

TEST_F(FieldsTest, TheUsersDecimalSeparatorDecides) {
  system.decimalSeparator = ",";
  text1().SetText("12,5");
  EXPECT_TRUE(system.messages.empty());
  text1().SetText("12.5");
  EXPECT_EQ(system.messages, Messages{kRejected});
}

TEST_F(FieldsTest, AHugePasteOfJunkIsRejectedOnce) {
  text1().SetText(std::string(1 << 20, '7') + "x");
  EXPECT_EQ(system.messages, Messages{kRejected});
  EXPECT_EQ(text1().Text(), "");
}

TEST_F(FieldsTest, FocusTrackerOrdersLostBeforeGot) {
  std::vector<std::string> events;
  platform::FocusTracker tracker;
  fake::TextBox a{"a"}, b{"b"};
  a.GotFocus = [&] { events.push_back("a got"); };
  a.LostFocus = [&] { events.push_back("a lost"); };
  b.GotFocus = [&] { events.push_back("b got"); };
  b.LostFocus = [&] { events.push_back("b lost"); };
  int list = 0;
  tracker.Enter(&a, &a);
  tracker.Enter(&a, &a);
  tracker.Enter(&b, &b);
  tracker.Enter(&list, nullptr);
  tracker.Enter(&list, nullptr);
  tracker.Enter(&a, &a);
  EXPECT_EQ(events, (std::vector<std::string>{"a got", "a lost", "b got", "b lost", "a got"}));
}
