// The portal client against a stand-in portal on a private session bus: answers and signals of
// another shape are refused or ignored, never read as if they had the right one.
#include <gio/gio.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/gtk/gtk_hotkeys.h"
#include "platform/wayland/portal/portal.h"
#include "platform/wayland/ei/ei_way.h"
#include "platform/wayland/input_route.h"
#include "platform/wayland/portal/global_shortcuts.h"
#include "platform/wayland/portal/remote_desktop_session.h"
#include "platform/wayland/portal_input.h"

namespace {

using namespace platform::wayland;
using platform::Hotkey;

const std::string kSession = "'/org/freedesktop/portal/desktop/session/1_1/tapwing'";  // as text
const std::string kSessionGranted = "(uint32 0, {'session_handle': <objectpath " + kSession + ">})";

// Only the methods the tests reach; GDBus refuses calls whose arguments differ from these.
constexpr const char* kInterfaces = R"xml(<node>
  <interface name="org.freedesktop.portal.RemoteDesktop">
    <method name="CreateSession"><arg type="a{sv}" direction="in"/><arg type="o" direction="out"/></method>
    <method name="SelectDevices">
      <arg type="o" direction="in"/><arg type="a{sv}" direction="in"/><arg type="o" direction="out"/>
    </method>
    <method name="Start">
      <arg type="o" direction="in"/><arg type="s" direction="in"/><arg type="a{sv}" direction="in"/>
      <arg type="o" direction="out"/>
    </method>
    <method name="NotifyPointerMotionAbsolute">
      <arg type="o" direction="in"/><arg type="a{sv}" direction="in"/><arg type="u" direction="in"/>
      <arg type="d" direction="in"/><arg type="d" direction="in"/>
    </method>
    <method name="NotifyPointerButton">
      <arg type="o" direction="in"/><arg type="a{sv}" direction="in"/><arg type="i" direction="in"/>
      <arg type="u" direction="in"/>
    </method>
  </interface>
  <interface name="org.freedesktop.portal.ScreenCast">
    <method name="SelectSources">
      <arg type="o" direction="in"/><arg type="a{sv}" direction="in"/><arg type="o" direction="out"/>
    </method>
  </interface>
  <interface name="org.freedesktop.portal.GlobalShortcuts">
    <method name="CreateSession"><arg type="a{sv}" direction="in"/><arg type="o" direction="out"/></method>
    <method name="BindShortcuts">
      <arg type="o" direction="in"/><arg type="a(sa{sv})" direction="in"/><arg type="s" direction="in"/>
      <arg type="a{sv}" direction="in"/><arg type="o" direction="out"/>
    </method>
    <property name="version" type="u" access="read"/>
  </interface>
  <interface name="org.freedesktop.portal.Request"><method name="Close"/></interface>
</node>)xml";

// Owns the portal's name on a connection of its own. Each request method returns its request
// path, where a Request object can be closed, and then sends the Response set for it, if any,
// in GVariant text form: by default after the reply, or before it (Early), or, at another path
// than the token's (Moved), again every 20 ms. Input events are logged as "move X,Y" or
// "button B P"; while held, their replies wait for Answered().
class StandIn {
 public:
  StandIn() {
    bus_ = g_dbus_connection_new_for_address_sync(
        g_getenv("DBUS_SESSION_BUS_ADDRESS"),
        GDBusConnectionFlags(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT | G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, nullptr);
    node_ = g_dbus_node_info_new_for_xml(kInterfaces, nullptr);
    for (GDBusInterfaceInfo** interface = node_->interfaces; *interface != nullptr; ++interface) {
      if (!g_str_equal((*interface)->name, kRequest))
        g_dbus_connection_register_object(bus_, kPortalPath, *interface, Vtable(), this, nullptr, nullptr);
    }
    g_variant_unref(g_dbus_connection_call_sync(bus_, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                                "org.freedesktop.DBus", "RequestName",
                                                g_variant_new("(su)", kPortalName, 0u), G_VARIANT_TYPE("(u)"),
                                                G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr));
  }
  ~StandIn() {
    g_dbus_connection_close_sync(bus_, nullptr, nullptr);
    g_object_unref(bus_);
    g_dbus_node_info_unref(node_);
  }

  void Answer(const std::string& method, const std::string& response) { responses_[method] = response; }
  void Emit(const char* interface, const char* signal, const std::string& parameters) {
    g_dbus_connection_emit_signal(bus_, nullptr, kPortalPath, interface, signal, g_variant_new_parsed(parameters.c_str()),
                                  nullptr);
  }
  bool Saw(const std::string& method) const { return std::count(calls_.begin(), calls_.end(), method) > 0; }
  void Reset() {
    responses_.clear();
    calls_.clear();
    events_.clear();
    tokens_.clear();
    early_ = moved_ = false;
    Hold(false);
  }
  void Early() { early_ = true; }
  void Moved() { moved_ = true; }
  const std::vector<std::string>& Events() const { return events_; }
  const std::vector<std::string>& Calls() const { return calls_; }
  const std::vector<std::string>& Tokens() const { return tokens_; }
  void Hold(bool hold) {
    hold_ = hold;
    if (!hold) Answered(held_.size());
  }
  // Replies to the oldest `count` events held.
  void Answered(std::size_t count) {
    for (std::size_t i = 0; i < count && !held_.empty(); ++i) {
      g_dbus_method_invocation_return_value(held_.front(), nullptr);
      held_.erase(held_.begin());
    }
  }

 private:
  static constexpr const char* kRequest = "org.freedesktop.portal.Request";
  static const GDBusInterfaceVTable* Vtable() {
    static const GDBusInterfaceVTable vtable = {&StandIn::OnMethod, &StandIn::OnGetVersion, nullptr, {}};
    return &vtable;
  }

  static void OnMethod(GDBusConnection* bus, const gchar* sender, const gchar* path, const gchar*, const gchar* method,
                       GVariant* parameters, GDBusMethodInvocation* invocation, gpointer data) {
    auto* self = static_cast<StandIn*>(data);
    if (g_str_equal(method, "Close")) {
      self->calls_.push_back(std::string("Close ") + path);
      return g_dbus_method_invocation_return_value(invocation, nullptr);
    }
    self->calls_.push_back(method);
    if (g_str_has_prefix(method, "Notify")) return self->OnEvent(method, parameters, invocation);
    std::string caller = sender + 1;
    std::replace(caller.begin(), caller.end(), '.', '_');
    GVariant* options = g_variant_get_child_value(parameters, g_variant_n_children(parameters) - 1);
    const gchar* token = "";
    g_variant_lookup(options, "handle_token", "&s", &token);
    self->tokens_.push_back(token);
    const std::string request =
        std::string(kPortalPath) + "/request/" + caller + "/" + token + (self->moved_ ? "_moved" : "");
    g_variant_unref(options);
    g_dbus_connection_register_object(bus, request.c_str(), g_dbus_node_info_lookup_interface(self->node_, kRequest),
                                      Vtable(), self, nullptr, nullptr);
    const auto response = self->responses_.find(method);
    const bool answer = response != self->responses_.end();
    if (answer && self->early_) self->Respond(request, response->second);
    g_dbus_method_invocation_return_value(invocation, g_variant_new("(o)", request.c_str()));
    if (answer && !self->early_) self->Respond(request, response->second);
    if (answer && self->moved_) self->RespondAgain(request, response->second);
  }
  void Respond(const std::string& request, const std::string& response) {
    g_dbus_connection_emit_signal(bus_, nullptr, request.c_str(), kRequest, "Response",
                                  g_variant_new_parsed(response.c_str()), nullptr);
  }
  // Until the caller's subscription at the moved path is in place; 50 times at most.
  void RespondAgain(const std::string& request, const std::string& response) {
    struct Again {
      StandIn* self;
      std::string request, response;
      int left = 50;
    };
    g_timeout_add_full(
        G_PRIORITY_DEFAULT, 20,
        [](gpointer data) -> gboolean {
          auto* again = static_cast<Again*>(data);
          again->self->Respond(again->request, again->response);
          return --again->left > 0 ? G_SOURCE_CONTINUE : G_SOURCE_REMOVE;
        },
        new Again{this, request, response}, [](gpointer data) { delete static_cast<Again*>(data); });
  }
  void OnEvent(const gchar* method, GVariant* parameters, GDBusMethodInvocation* invocation) {
    if (g_str_equal(method, "NotifyPointerButton")) {
      gint32 button = 0;
      guint32 pressed = 0;
      g_variant_get(parameters, "(o@a{sv}iu)", nullptr, nullptr, &button, &pressed);
      events_.push_back("button " + std::to_string(button) + " " + std::to_string(pressed));
    } else {
      double x = 0, y = 0;
      g_variant_get(parameters, "(o@a{sv}udd)", nullptr, nullptr, nullptr, &x, &y);
      events_.push_back("move " + std::to_string(int(x)) + "," + std::to_string(int(y)));
    }
    if (hold_) return held_.push_back(invocation);
    g_dbus_method_invocation_return_value(invocation, nullptr);
  }
  static GVariant* OnGetVersion(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*, GError**,
                                gpointer) {
    return g_variant_new_uint32(1);
  }

  GDBusConnection* bus_ = nullptr;
  std::map<std::string, std::string> responses_;
  GDBusNodeInfo* node_ = nullptr;
  std::vector<std::string> calls_;
  std::vector<std::string> tokens_;
  std::vector<std::string> events_;
  bool early_ = false, moved_ = false;
  std::vector<GDBusMethodInvocation*> held_;
  bool hold_ = false;
};

// Runs the loop until `done` holds, or gives up after `ms` (ten seconds).
template <typename Condition>
bool RunUntil(Condition done, int ms = 10000) {
  const gint64 deadline = g_get_monotonic_time() + ms * 1000;
  while (!done() && g_get_monotonic_time() < deadline) {
    if (!g_main_context_iteration(nullptr, FALSE)) g_usleep(1000);
  }
  return done();
}

// The portal's input as the backend drives it: through a route that asks at the first word,
// with what the route reported.
struct Desktop : InputRoute::Driver {
  Desktop(Portal& portal, std::uint32_t version) : version(version), route(false, *this), input(portal, route) {}
  void Ask() {
    if (route.Current() == InputRoute::State::Probing) return route.Probed(version, {});
    route.Admit();
  }
  bool Ready() const { return route.Current() == InputRoute::State::Ready; }
  void AskForSession() override { input.Ask(version); }
  void LetPresses(bool) override {}
  void ReportLoss(std::int64_t, const std::string& reason) override { lost.push_back(reason); }
  void Tell(InputRoute::State, const std::string&) override {}

  const std::uint32_t version;
  std::vector<std::string> lost;
  InputRoute route;
  PortalInput input;
};

// Runs first, before the suite below has a bus.
TEST(PortalWithoutBus, AnswersFromTheLoopAndNeverAfterItIsGone) {
  g_setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bus", TRUE);
  int answers = 0;
  {
    Portal portal;
    ASSERT_FALSE(portal.Missing().empty());
    portal.Request(kRemoteDesktop, "CreateSession", g_variant_new("(@a{sv})", Options({})),
                   [&](const PortalAnswer& answer) {
                     EXPECT_EQ(answer.error, portal.Missing());
                     ++answers;
                   });
    EXPECT_EQ(answers, 0);
    ASSERT_TRUE(RunUntil([&] { return answers == 1; }));
    portal.Version(kRemoteDesktop, [&](std::uint32_t, const std::string&) { ++answers; });
  }
  while (g_main_context_iteration(nullptr, FALSE)) {
  }
  EXPECT_EQ(answers, 1);
  g_unsetenv("DBUS_SESSION_BUS_ADDRESS");
}

// One private bus and stand-in for the whole suite: GDBus keeps the session bus as a singleton.
class PortalTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    bus_ = g_test_dbus_new(G_TEST_DBUS_NONE);
    g_test_dbus_up(bus_);
    standIn_ = new StandIn;
  }
  static void TearDownTestSuite() {
    delete standIn_;
    g_test_dbus_down(bus_);
    g_object_unref(bus_);
  }
  void SetUp() override { standIn_->Reset(); }
  // A GlobalShortcuts session granted and bound by the stand-in.
  static void Bind(Shortcuts& shortcuts) {
    standIn_->Answer("CreateSession", kSessionGranted);
    shortcuts.Bind();
    ASSERT_TRUE(RunUntil([&] { return standIn_->Saw("BindShortcuts"); }));
  }

  static inline GTestDBus* bus_ = nullptr;
  static inline StandIn* standIn_ = nullptr;
};

TEST_F(PortalTest, AResponseOfAnotherShapeFailsTheRequest) {
  Portal portal;
  standIn_->Answer("CreateSession", "('granted',)");
  bool answered = false;
  portal.Request(kRemoteDesktop, "CreateSession", g_variant_new("(@a{sv})", Options({})),
                 [&](const PortalAnswer& answer) {
                   EXPECT_EQ(answer.response, 2u);
                   EXPECT_NE(answer.error.find("Response"), std::string::npos) << answer.error;
                   answered = true;
                 });
  EXPECT_TRUE(RunUntil([&] { return answered; }));
}

// Each request is answered once, with its own fresh token, whether the Response comes before
// the call's reply or at another path than the token's.
TEST_F(PortalTest, ARequestIsAnsweredOnceWhereverAndWheneverItsResponseComes) {
  Portal portal;
  std::vector<std::uint32_t> answers;
  const auto ask = [&] {
    portal.Request(kRemoteDesktop, "CreateSession", g_variant_new("(@a{sv})", Options({{"handle_token", g_variant_new_string("mine")}})),
                   [&](const PortalAnswer& answer) { answers.push_back(answer.response); });
  };
  standIn_->Answer("CreateSession", "(uint32 1, @a{sv} {})");
  standIn_->Early();
  ask();
  ASSERT_TRUE(RunUntil([&] { return answers.size() == 1; }));
  standIn_->Reset();
  standIn_->Answer("CreateSession", "(uint32 0, @a{sv} {})");
  standIn_->Moved();
  ask();
  ASSERT_TRUE(RunUntil([&] { return answers.size() == 2; }));
  RunUntil([] { return false; }, 200);
  EXPECT_EQ(answers, (std::vector<std::uint32_t>{1, 0}));
  ASSERT_EQ(standIn_->Tokens().size(), 1u);
  EXPECT_NE(standIn_->Tokens()[0], "mine");
}

// A step the portal has not answered when the session ends is closed: its dialog goes away.
TEST_F(PortalTest, AStepStillAskingIsClosedWithTheSession) {
  Portal portal;
  {
    Desktop desktop(portal, 1);
    standIn_->Answer("CreateSession", kSessionGranted);
    desktop.Ask();
    ASSERT_TRUE(RunUntil([&] { return standIn_->Saw("SelectDevices"); }));
  }
  const std::string closed = "Close /org/freedesktop/portal/desktop/request/";
  const auto closes = [&] {
    return std::count_if(standIn_->Calls().begin(), standIn_->Calls().end(),
                         [&](const std::string& call) { return call.rfind(closed, 0) == 0; });
  };
  ASSERT_TRUE(RunUntil([&] { return closes() == 1; }));
  EXPECT_TRUE(standIn_->Calls().back().ends_with("/" + standIn_->Tokens().back())) << standIn_->Calls().back();
}

TEST_F(PortalTest, TheSessionHandleIsAnObjectPathSentAsStringOrPath) {
  Portal portal;
  Desktop desktop(portal, 1);
  const auto& lost = desktop.lost;
  standIn_->Answer("CreateSession", "(uint32 0, {'session_handle': <'not a path'>})");
  desktop.Ask();
  ASSERT_TRUE(RunUntil([&] { return !lost.empty(); }));
  EXPECT_NE(lost[0].find("CreateSession"), std::string::npos) << lost[0];
  EXPECT_FALSE(standIn_->Saw("SelectDevices"));

  standIn_->Answer("CreateSession", kSessionGranted);
  desktop.Ask();
  EXPECT_TRUE(RunUntil([&] { return standIn_->Saw("SelectDevices"); }));
  EXPECT_EQ(lost.size(), 1u);
}

TEST_F(PortalTest, OnlyAWellFormedActivatedOfTheBoundSessionPresses) {
  Portal portal;
  platform::gtk::HotkeyLatches keys;
  Shortcuts shortcuts(portal, keys);
  ASSERT_NO_FATAL_FAILURE(Bind(shortcuts));

  standIn_->Emit(kGlobalShortcuts, "Activated", "(" + kSession + ", 'F6', uint64 1, @a{sv} {})");  // a string
  standIn_->Emit(kGlobalShortcuts, "Activated", "(objectpath " + kSession + ", 'F6')");
  standIn_->Emit(kGlobalShortcuts, "Deactivated", "(objectpath " + kSession + ", 'F6')");
  standIn_->Emit(kGlobalShortcuts, "Activated", "(objectpath " + kSession + ", 'F5', uint64 1, @a{sv} {})");
  ASSERT_TRUE(RunUntil([&] { return keys.Pending(); }));
  EXPECT_FALSE(keys.Pressed(Hotkey::F6));
  EXPECT_TRUE(keys.Pressed(Hotkey::F5));
}

// A press whose Deactivated never came must not leave the key down: the next press would be
// taken for its repeat, and that F6 lost. GNOME's own repeats of a held key still count once.
TEST_F(PortalTest, APressWhoseReleaseNeverCameLeavesTheNextPressCounting) {
  Portal portal;
  platform::gtk::HotkeyLatches keys;
  Shortcuts shortcuts(portal, keys);
  ASSERT_NO_FATAL_FAILURE(Bind(shortcuts));
  const auto activated = [&](const char* key, int ms) {
    standIn_->Emit(kGlobalShortcuts, "Activated",
                   "(objectpath " + kSession + ", '" + key + "', uint64 " + std::to_string(ms) + ", @a{sv} {})");
    EXPECT_TRUE(RunUntil([&] { return keys.Pending(); }));
    return keys.Pressed(Hotkey::F6);
  };
  EXPECT_TRUE(activated("F6", 1000));
  standIn_->Emit(kGlobalShortcuts, "Deactivated", "(objectpath " + kSession + ", 'F6', uint64 1100, @a{sv} {})");
  standIn_->Emit(kGlobalShortcuts, "Activated", "(objectpath " + kSession + ", 'F5', uint64 1200, @a{sv} {})");
  ASSERT_TRUE(RunUntil([&] { return keys.Pending(); }));  // the Deactivated is in
  EXPECT_TRUE(keys.Pressed(Hotkey::F5));
  keys.Press(Hotkey::F6);  // as the window hears it, just before the focus leaves it
  EXPECT_TRUE(keys.Pressed(Hotkey::F6));
  EXPECT_TRUE(activated("F6", 5000));
  EXPECT_TRUE(activated("F6", 9000));  // no Deactivated between
  standIn_->Emit(kGlobalShortcuts, "Activated", "(objectpath " + kSession + ", 'F6', uint64 9030, @a{sv} {})");
  standIn_->Emit(kGlobalShortcuts, "Activated", "(objectpath " + kSession + ", 'F5', uint64 9040, @a{sv} {})");
  ASSERT_TRUE(RunUntil([&] { return keys.Pending(); }));
  EXPECT_FALSE(keys.Pressed(Hotkey::F6));  // 30 ms after: GNOME's repeat of the held key
}

// Each call waits for the reply to the one before: the portal may hand calls in flight to its
// backend in any order. A tick that has sent nothing when the next comes gives way to it.
TEST_F(PortalTest, EachCallWaitsForTheOneBeforeAndALateTickGivesWay) {
  Portal portal;
  Desktop desktop(portal, 1);
  standIn_->Answer("CreateSession", kSessionGranted);
  standIn_->Answer("SelectDevices", "(uint32 0, @a{sv} {})");
  standIn_->Answer("SelectSources", "(uint32 0, @a{sv} {})");
  standIn_->Answer("Start", "(uint32 0, {'devices': <uint32 2>, 'streams': <[(uint32 44, {'position': <(0, 0)>, "
                            "'size': <(1280, 1024)>})]>})");
  desktop.Ask();
  ASSERT_TRUE(RunUntil([&] { return desktop.Ready(); }));
  standIn_->Hold(true);
  const auto events = [&](std::size_t count) { return RunUntil([&] { return standIn_->Events().size() >= count; }); };
  const auto tick = [&](double x, double y) {
    desktop.input.Way()->Move(x, y);
    desktop.input.Way()->Click(272, 1);
  };

  tick(100, 100);
  for (std::size_t sent = 1; sent <= 3; ++sent) {
    ASSERT_TRUE(events(sent));
    RunUntil([] { return false; }, 50);
    ASSERT_EQ(standIn_->Events().size(), sent);  // nothing more before the reply
    if (sent < 3) standIn_->Answered(1);
  }
  tick(100, 100);  // waits for the release, and gives way to the next
  tick(200, 100);
  standIn_->Hold(false);
  ASSERT_TRUE(events(6));
  RunUntil([] { return false; }, 100);
  EXPECT_EQ(standIn_->Events(), (std::vector<std::string>{"move 100,100", "button 272 1", "button 272 0",
                                                          "move 200,100", "button 272 1", "button 272 0"}));
}

// A call on a session answered after a new question has replaced it is not heard: it would hand
// the old session's socket to the new one.
TEST_F(PortalTest, AnAnswerForAnEndedSessionIsIgnored) {
  struct Events : SessionEvents {
    void SessionStarted(const StartedSession&) override { ++started; }
    void SessionEnded(std::int64_t, const std::string&) override {}
    int started = 0;
  } events;
  Portal portal;
  RemoteDesktopSession session(portal, events);
  standIn_->Answer("CreateSession", kSessionGranted);
  standIn_->Answer("SelectDevices", "(uint32 0, @a{sv} {})");
  standIn_->Answer("SelectSources", "(uint32 0, @a{sv} {})");
  standIn_->Answer("Start", "(uint32 0, {'devices': <uint32 2>})");
  session.Ask(1, false);
  ASSERT_TRUE(RunUntil([&] { return events.started == 1; }));
  int old = 0, current = 0;
  session.OpenPipeWireRemote([&](int, const std::string&) { ++old; });
  session.Ask(1, false);
  ASSERT_TRUE(RunUntil([&] { return events.started == 2; }));
  session.OpenPipeWireRemote([&](int, const std::string&) { ++current; });
  ASSERT_TRUE(RunUntil([&] { return current == 1; }));  // the replies come in order: the old one is in
  EXPECT_EQ(old, 0);
}

}  // namespace

// A desktop that cannot cast its screens refuses the session at Start (KWin 6 without OpenGL);
// clicks through libei need none, so it is asked for again without them.
TEST_F(PortalTest, ASessionRefusedForItsScreenCastsIsAskedAgainWithoutThem) {
  if (!LibeiBuiltIn()) GTEST_SKIP() << "built without libei";
  Portal portal;
  Desktop desktop(portal, 2);
  const auto& lost = desktop.lost;
  standIn_->Answer("CreateSession", kSessionGranted);
  standIn_->Answer("SelectDevices", "(uint32 0, @a{sv} {})");
  standIn_->Answer("SelectSources", "(uint32 0, @a{sv} {})");
  standIn_->Answer("Start", "(uint32 2, @a{sv} {})");
  desktop.Ask();
  ASSERT_TRUE(RunUntil([&] { return standIn_->Saw("Start"); }));
  standIn_->Answer("Start", "(uint32 0, {'devices': <uint32 2>})");
  // The stand-in has no ConnectToEIS: with no screen cast to fall back on, that ends it.
  ASSERT_TRUE(RunUntil([&] { return !lost.empty(); }));
  EXPECT_EQ(standIn_->Calls(), (std::vector<std::string>{"CreateSession", "SelectDevices", "SelectSources", "Start",
                                                          "CreateSession", "SelectDevices", "Start"}));
  ASSERT_EQ(lost.size(), 1u);
  EXPECT_NE(lost[0].find("libei"), std::string::npos) << lost[0];
  // That never worked: the refusal may not have been about screen casts, the next asks with them.
  desktop.Ask();
  ASSERT_TRUE(RunUntil([&] { return lost.size() == 2; }));
  EXPECT_EQ(std::count(standIn_->Calls().begin(), standIn_->Calls().end(), "SelectSources"), 2);
}
