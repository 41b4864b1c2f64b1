// A Form1 on the fake platform, with its lists filled as after start-up.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "platform/fake/fake_platform.h"
#include "window/form1.h"

template <typename T>
T& Fake(auto& control) {
  return static_cast<T&>(control);
}

using Calls = std::vector<std::string>;
using Messages = std::vector<fake::Message>;

class Form1Test : public ::testing::Test {
 protected:
  Form1Test() { form.FillLists(); }

  fake::TextBox& text1() { return Fake<fake::TextBox>(form.Text1); }
  fake::TextBox& text2() { return Fake<fake::TextBox>(form.Text2); }
  fake::ComboList& combo2() { return Fake<fake::ComboList>(form.Combo2); }
  fake::ComboList& combo3() { return Fake<fake::ComboList>(form.Combo3); }
  fake::Timer& timer1() { return Fake<fake::Timer>(form.Timer1); }
  fake::Timer& timer2() { return Fake<fake::Timer>(form.Timer2); }
  const Calls& calls() const { return system.input.calls; }

  // One poll in which the given keys count as pressed (the others do not).
  void Poll(std::initializer_list<platform::Hotkey> pressed) {
    for (platform::Hotkey key : pressed) keyboard.Queue(key, true);
    ASSERT_TRUE(timer1().Fire());
  }

  static constexpr platform::Hotkey F5 = platform::Hotkey::F5;
  static constexpr platform::Hotkey F6 = platform::Hotkey::F6;
  static constexpr platform::Hotkey F7 = platform::Hotkey::F7;

  fake::Keyboard keyboard;
  fake::FormBuilder ui;
  fake::Services system;
  Form1 form{ui, system, keyboard};
};
