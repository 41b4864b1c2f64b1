// The X11 backend on a real X server: raw hotkeys from other clients and keys sent to the
// window, the sleeping poll woken by a press, and XTest input.
// gtest first: Xlib's macros (None, Bool) would break its headers.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <gdk/gdkx.h>

#include <map>
#include <string>
#include <vector>

#include "gtk_test_support.h"
#include "platform/gtk/gtk_form_window.h"
#include "platform/x11/x11_display.h"
#include "platform/x11/x11_hotkeys.h"
#include "platform/x11/x11_input.h"

namespace {

using namespace platform::gtk;
using namespace platform::x11;
using platform::Hotkey;

// Another client's key presses (XTest, as a user's keyboard) while Tapwing has no focus at all.
TEST(X11Hotkeys, HearsKeysOfOtherClientsThroughRawEvents) {
  X11Hotkeys keys;
  ASSERT_TRUE(keys.Global());
  DisplayPtr other = OpenDisplay();
  const KeyCode f7 = XKeysymToKeycode(other.get(), XK_F7);
  const auto key = [&](bool down) {
    XTestFakeKeyEvent(other.get(), f7, down, CurrentTime);
    XSync(other.get(), False);
  };
  bool pressed = false;
  key(true);
  EXPECT_TRUE(gtk_test::RunUntil([&] { return pressed = pressed || keys.Pressed(Hotkey::F7); }, 2000));
  key(true);  // a repeat while held
  gtk_test::RunUntil([] { return false; }, 50);
  EXPECT_FALSE(keys.Pressed(Hotkey::F7));
  EXPECT_FALSE(keys.Pressed(Hotkey::F5));
  key(false);
  key(true);
  key(false);
  gtk_test::RunUntil([] { return false; }, 50);
  EXPECT_FALSE(keys.Pressed(Hotkey::F7));  // released before the read
}

// The hotkey poll sleeps at rest and a press wakes it: F7 is read at the next tick, and the
// ticks keep to the grid they started on.
TEST(GridTimer, ASleepingPollWakesOnAPressOnItsOwnGrid) {
  FormWindow window;
  X11Hotkeys keys;
  auto& poll = window.AddTimer(10, true, platform::TimerUse::Poll);
  window.SleepPollAtRest(keys, [] { return false; });
  std::vector<gint64> ticks;
  bool pressed = false;
  poll.Tick = [&] {
    ticks.push_back(g_get_monotonic_time());
    pressed = pressed || keys.Pressed(Hotkey::F7);
  };
  gtk_test::RunUntil([] { return false; }, 200);
  EXPECT_EQ(ticks.size(), 1u) << "the poll did not fall asleep";

  DisplayPtr other = OpenDisplay();
  const KeyCode f7 = XKeysymToKeycode(other.get(), XK_F7);
  XTestFakeKeyEvent(other.get(), f7, True, CurrentTime);
  XSync(other.get(), False);
  EXPECT_TRUE(gtk_test::RunUntil([&] { return pressed; }, 2000));
  XTestFakeKeyEvent(other.get(), f7, False, CurrentTime);
  XSync(other.get(), False);
  ASSERT_EQ(ticks.size(), 2u);
  const gint64 phase = (ticks[1] - ticks[0]) % 10000;  // microseconds off the 10 ms grid
  EXPECT_TRUE(phase < 2000 || phase > 8000) << phase;
}

// What a test does on a server without XTEST: key events sent straight to Tapwing's window.
TEST(X11Hotkeys, CountsKeysSentToTheWindow) {
  X11Hotkeys keys;
  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  keys.Hear(window);
  ASSERT_TRUE(gtk_test::Activate(GTK_WINDOW(window)));
  DisplayPtr other = OpenDisplay();
  XKeyEvent event{};
  event.display = other.get();
  event.window = GDK_WINDOW_XID(gtk_widget_get_window(window));
  event.root = DefaultRootWindow(other.get());
  event.keycode = XKeysymToKeycode(other.get(), XK_F5);
  event.same_screen = True;
  event.type = KeyPress;
  XSendEvent(other.get(), event.window, True, KeyPressMask, reinterpret_cast<XEvent*>(&event));
  XSync(other.get(), False);
  bool pressed = false;
  EXPECT_TRUE(gtk_test::RunUntil([&] { return pressed = pressed || keys.Pressed(Hotkey::F5); }, 2000));
  gtk_widget_destroy(window);
}

// A plain X window on its own connection that counts the buttons it receives.
class ClickTarget {
 public:
  ClickTarget() : display_(OpenDisplay()) {
    Display* d = display_.get();
    window_ = XCreateSimpleWindow(d, DefaultRootWindow(d), 100, 100, 200, 150, 0, 0, 0);
    XSelectInput(d, window_, ButtonPressMask | StructureNotifyMask);
    XMapRaised(d, window_);
    XSync(d, False);
  }
  // Button number -> presses, after letting the events arrive.
  std::map<unsigned, int> Presses() {
    Display* d = display_.get();
    XSync(d, False);
    while (XPending(d) > 0) {
      XEvent event;
      XNextEvent(d, &event);
      if (event.type == ButtonPress) ++presses_[event.xbutton.button];
    }
    return presses_;
  }

 private:
  DisplayPtr display_;
  Window window_;
  std::map<unsigned, int> presses_;
};

TEST(X11Input, MovesReadsAndClicksAtRootCoordinates) {
  ClickTarget target;
  auto input = X11Input::Open();
  input->MoveCursor(150, 160);
  std::string x, y;
  input->ReadCursor(x, y);
  EXPECT_EQ(x, "150");
  EXPECT_EQ(y, "160");
  input->ClickLeft();
  input->DoubleClickLeft();
  input->ClickRight();
  input->ClickMiddle();
  input->WheelUp();
  input->WheelDown();
  input->WheelDown();
  std::map<unsigned, int> presses;
  gtk_test::RunUntil([&] { return (presses = target.Presses())[5] == 2; }, 2000);
  EXPECT_EQ(presses, (std::map<unsigned, int>{{1, 3}, {2, 1}, {3, 1}, {4, 1}, {5, 2}}));
}

TEST(X11Input, NamesXTestWhenTheServerCannotBeReached) {
  try {
    X11Input::Open(":65000");
    ADD_FAILURE() << "opened a device without a server";
  } catch (const platform::InputError& error) {
    EXPECT_NE(std::string(error.what()).find("XTest"), std::string::npos);
    EXPECT_NE(std::string(error.what()).find(":65000"), std::string::npos);
  }
}

}  // namespace
