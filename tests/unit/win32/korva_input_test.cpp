// The input device over korva.dll's function table: the slots it calls, the statuses it checks,
// the texts it makes of the variants, and the reference it holds.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fake_korva.h"
#include "platform/win32/korva_input.h"

using platform::win32::KorvaInput;
using Calls = std::vector<std::string>;

TEST(KorvaInput, CallsEachOperationsSlotAndReleasesItsReferenceAtTheEnd) {
  fake::DriverObject object;
  {
    KorvaInput input(&object, ".");
    input.MoveCursor(-1280, 77);
    input.ClickLeft();
    input.DoubleClickLeft();
    input.ClickRight();
    input.ClickMiddle();
    input.WheelUp();
    input.WheelDown();
    object.cursorX = 1919;
    object.cursorY = -3;
    std::string x = "stale", y;
    input.ReadCursor(x, y);
    EXPECT_EQ(x, "1919");
    EXPECT_EQ(y, "-3");
    EXPECT_EQ(object.references, 1);
  }
  EXPECT_EQ(object.calls, (Calls{"move -1280,77", "ClickLeft", "DoubleClickLeft", "ClickRight", "ClickMiddle",
                                 "WheelUp", "WheelDown", "read"}));
  EXPECT_EQ(object.references, 0);
}

TEST(KorvaInput, AFailureStatusBecomesTheMessageWithItsCode) {
  fake::DriverObject object;
  KorvaInput input(&object, ".");
  object.status = static_cast<korva::abi::Status>(0x80070005);
  try {
    input.ClickLeft();
    FAIL() << "no failure raised";
  } catch (const platform::InputError& error) {
    EXPECT_STREQ(error.what(), "输入组件 korva.dll 不可用,错误代码: 0x80070005");
    EXPECT_EQ(error.Code(), static_cast<korva::abi::Status>(0x80070005));
  }
  object.status = 1;  // S_FALSE and other successes pass
  EXPECT_NO_THROW(input.WheelUp());
}

TEST(KorvaInput, FractionalCoordinatesReadInPlainNotationWithTheUsersSeparator) {
  fake::DriverObject object;
  object.fractional = true;
  object.cursorX = 12;
  object.cursorY = -1;
  KorvaInput input(&object, ",");
  std::string x, y;
  input.ReadCursor(x, y);
  EXPECT_EQ(x, "12,25");
  EXPECT_EQ(y, "-0,75");
}
