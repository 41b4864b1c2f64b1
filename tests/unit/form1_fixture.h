// A Form1 on the fake platform, with its lists filled as after start-up.
#pragma once

#include <gtest/gtest.h>

#include "fake_driver.h"
#include "platform/fake/fake_platform.h"
#include "window/form1.h"

template <typename T>
T& Fake(auto& control) {
  return static_cast<T&>(control);
}

class Form1Test : public ::testing::Test {
 protected:
  Form1Test() { form.FillLists(); }

  fake::TextBox& text1() { return Fake<fake::TextBox>(form.Text1); }
  fake::TextBox& text2() { return Fake<fake::TextBox>(form.Text2); }
  fake::ComboList& combo2() { return Fake<fake::ComboList>(form.Combo2); }
  fake::ComboList& combo3() { return Fake<fake::ComboList>(form.Combo3); }
  fake::Timer& timer1() { return Fake<fake::Timer>(form.Timer1); }
  fake::Timer& timer2() { return Fake<fake::Timer>(form.Timer2); }

  // One poll in which the keys report the given states (others report 0).
  void Poll(std::initializer_list<std::pair<int, std::uint16_t>> states) {
    for (const auto& [key, state] : states) keyboard.Queue(key, state);
    ASSERT_TRUE(timer1().Fire());
  }

  static constexpr int F5 = 0x74, F6 = 0x75, F7 = 0x76;

  fake::Bindings bindings;
  fake::Keyboard keyboard{bindings};
  fake::FormBuilder ui;
  fake::Services system;
  fake::DriverObject object;
  fake::DriverFactory factory{system, object};
  Form1 form{ui, system};
};
