// The route's transitions, driven as the backend drives them, without a desktop.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/wayland/input_route.h"

namespace {

using platform::wayland::InputRoute;
using State = InputRoute::State;

// Everything the route had the backend do, in order.
struct Recorder {
  std::vector<std::string> did;
  InputRoute::Effects Effects() {
    return {[this] { did.push_back("ask"); },
            [this](bool keep) { did.push_back(keep ? "let" : "drop presses"); },
            [this](std::int64_t code, const std::string& reason) { did.push_back("lost " + std::to_string(code) + " " + reason); },
            [this](State way, const std::string& detail) { did.push_back("tell " + std::to_string(int(way)) + " " + detail); }};
  }
  std::vector<std::string> Take() { return std::exchange(did, {}); }
};

using Did = std::vector<std::string>;

TEST(InputRoute, PressesWaitForTheStartUpSessionAndALostOneIsAskedForAgainByTheNextPress) {
  Recorder r;
  InputRoute route(false, r.Effects());
  EXPECT_FALSE(route.Admit());  // still probing: waits, asks nothing
  route.Probed(2, "");
  EXPECT_EQ(r.Take(), Did{"ask"});
  EXPECT_FALSE(route.Admit());  // asking already: no second question
  route.Granted("libei");
  EXPECT_EQ(r.Take(), (Did{"tell 2 libei", "let"}));
  EXPECT_TRUE(route.Admit());

  route.Ended(6, "会话已结束");
  EXPECT_EQ(r.Take(), (Did{"drop presses", "lost 6 会话已结束"}));
  route.Ended(7, "again");  // one loss, one message
  EXPECT_TRUE(r.Take().empty());
  EXPECT_FALSE(route.Admit());
  EXPECT_FALSE(route.Admit());
  EXPECT_EQ(r.Take(), Did{"ask"});
  route.Granted("libei");
  EXPECT_EQ(r.Take(), Did{"let"});  // the line was said once, at the first grant
  EXPECT_TRUE(route.Admit());
}

TEST(InputRoute, AStartUpSessionRefusedWithoutWlrootsDropsTheWaitingPressesAndSaysWhyOnce) {
  Recorder r;
  InputRoute route(false, r.Effects());
  route.Probed(1, "");
  route.Ended(3, "用户没有允许远程控制");
  EXPECT_EQ(r.Take(), (Did{"ask", "tell 3 用户没有允许远程控制", "drop presses", "lost 3 用户没有允许远程控制"}));
  EXPECT_EQ(route.Current(), State::Idle);
  route.Granted("late");  // not asked for: ignored
  EXPECT_EQ(route.Current(), State::Idle);
}

TEST(InputRoute, APortalThatNeverWorkedGivesWayToWlrootsButOneThatWorkedIsReportedWhenLost) {
  Recorder r;
  InputRoute fallback(true, r.Effects());
  fallback.Probed(2, "");
  fallback.Ended(4, "拒绝");
  EXPECT_EQ(r.Take(), (Did{"ask", "tell 4 远程桌面门户失败: 拒绝", "let"}));
  EXPECT_EQ(fallback.Current(), State::Wlr);
  EXPECT_TRUE(fallback.Admit());

  InputRoute worked(true, r.Effects());
  worked.Probed(2, "");
  worked.Granted("Notify");
  r.Take();
  worked.Ended(6, "会话已结束");
  EXPECT_EQ(worked.Current(), State::Idle);
  EXPECT_EQ(r.Take(), (Did{"drop presses", "lost 6 会话已结束"}));
}

TEST(InputRoute, WithoutAPortalTheProbeSettlesOnWlrootsOrNothingAndLetsThePresses) {
  for (bool wlr : {true, false}) {
    Recorder r;
    InputRoute route(wlr, r.Effects());
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

}  // namespace
