// The route's transitions, driven as the backend drives them, without a desktop.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/wayland/click_ways.h"
#include "platform/wayland/input_route.h"

namespace {

using platform::wayland::ChooseClicks;
using platform::wayland::Clicks;
using platform::wayland::InputRoute;
using State = InputRoute::State;

// Everything the route had the backend do, in order.
struct Recorder : InputRoute::Driver {
  std::vector<std::string> did;
  void AskForSession() override { did.push_back("ask"); }
  void LetPresses(bool keep) override { did.push_back(keep ? "let" : "drop presses"); }
  void ReportLoss(std::int64_t code, const std::string& reason) override {
    did.push_back("lost " + std::to_string(code) + " " + reason);
  }
  void Tell(State state, const std::string& why) override {
    did.push_back("tell " + std::to_string(int(state)) + (why.empty() ? "" : " " + why));
  }
  std::vector<std::string> Take() { return std::exchange(did, {}); }
};

using Did = std::vector<std::string>;

TEST(InputRoute, PressesWaitForTheStartUpSessionAndALostOneIsAskedForAgainByTheNextPress) {
  Recorder r;
  InputRoute route(false, r);
  EXPECT_FALSE(route.Admit());  // still probing: waits, asks nothing
  route.Probed(2, "");
  EXPECT_EQ(r.Take(), Did{"ask"});
  EXPECT_FALSE(route.Admit());  // asking already: no second question
  route.Granted();
  EXPECT_EQ(r.Take(), (Did{"tell 2", "let"}));
  EXPECT_TRUE(route.Admit());

  route.Ended(6, "会话已结束");
  EXPECT_EQ(r.Take(), (Did{"drop presses", "lost 6 会话已结束"}));
  route.Ended(7, "again");  // one loss, one message
  EXPECT_TRUE(r.Take().empty());
  EXPECT_FALSE(route.Admit());
  EXPECT_FALSE(route.Admit());
  EXPECT_EQ(r.Take(), Did{"ask"});
  route.Granted();
  EXPECT_EQ(r.Take(), Did{"let"});  // the line was said once, at the first grant
  EXPECT_TRUE(route.Admit());
}

TEST(InputRoute, AStartUpSessionRefusedWithoutWlrootsDropsTheWaitingPressesAndSaysWhyOnce) {
  Recorder r;
  InputRoute route(false, r);
  route.Probed(1, "");
  route.Ended(3, "用户没有允许远程控制");
  EXPECT_EQ(r.Take(), (Did{"ask", "tell 3 用户没有允许远程控制", "drop presses", "lost 3 用户没有允许远程控制"}));
  EXPECT_EQ(route.Current(), State::Idle);
  route.Granted();  // not asked for: ignored
  EXPECT_EQ(route.Current(), State::Idle);
}

TEST(InputRoute, AWlrootsDesktopTakesItsOwnPointerEvenWhereAPortalAnswersAndALostSessionIsReported) {
  Recorder r;
  InputRoute wlroots(true, r);
  wlroots.Probed(2, "wlroots");
  EXPECT_EQ(r.Take(), (Did{"tell 4 wlroots", "let"}));
  EXPECT_EQ(wlroots.Current(), State::Wlr);
  EXPECT_TRUE(wlroots.Admit());

  InputRoute worked(false, r);
  worked.Probed(2, "");
  worked.Granted();
  r.Take();
  worked.Ended(6, "会话已结束");
  EXPECT_EQ(worked.Current(), State::Idle);
  EXPECT_EQ(r.Take(), (Did{"drop presses", "lost 6 会话已结束"}));
}

TEST(InputRoute, WithoutAPortalTheProbeSettlesOnWlrootsOrNothingAndLetsThePresses) {
  for (bool wlr : {true, false}) {
    Recorder r;
    InputRoute route(wlr, r);
    route.Probed(0, "没有门户");
    const State way = wlr ? State::Wlr : State::None;
    EXPECT_EQ(route.Current(), way);
    EXPECT_EQ(r.Take(), (Did{"tell " + std::to_string(int(way)) + " 没有门户", "let"}));
    EXPECT_TRUE(route.Admit());
    route.Probed(2, "");  // a late second answer changes nothing
    route.Ended(1, "x");
    EXPECT_EQ(route.Current(), way);
    EXPECT_TRUE(r.Take().empty());
  }
}

// libei needs the portal's ConnectToEIS (version 2) and a build with libei; the switch keeps the
// Notify calls.
TEST(ChooseClicks, LibeiOnlyWhereThePortalAndTheBuildBothHaveItAndItIsNotSwitchedOff) {
  EXPECT_EQ(ChooseClicks({2, true, false}), Clicks::Libei);
  EXPECT_EQ(ChooseClicks({3, true, false}), Clicks::Libei);
  EXPECT_EQ(ChooseClicks({1, true, false}), Clicks::Notify);
  EXPECT_EQ(ChooseClicks({2, false, false}), Clicks::Notify);
  EXPECT_EQ(ChooseClicks({2, true, true}), Clicks::Notify);
}

}  // namespace
