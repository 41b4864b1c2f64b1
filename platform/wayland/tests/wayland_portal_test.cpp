// The portal client against a stand-in portal on a private session bus: answers and signals of
// another shape are refused or ignored, never read as if they had the right one.
#include <gio/gio.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "platform/gtk/gtk_hotkeys.h"
#include "platform/wayland/wayland_portal.h"
#include "platform/wayland/wayland_remote_desktop.h"
#include "platform/wayland/wayland_shortcuts.h"

namespace {

using namespace platform::wayland;
using platform::Hotkey;

constexpr const char* kRemoteDesktop = "org.freedesktop.portal.RemoteDesktop";
constexpr const char* kGlobalShortcuts = "org.freedesktop.portal.GlobalShortcuts";
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
</node>)xml";

// Owns the portal's name on a connection of its own. Each request method returns its request
// path and then sends the Response set for it, if any, in GVariant text form. Input events are
// logged as "move X,Y" or "button B P"; while held, their replies wait for Answered().
class StandIn {
 public:
  StandIn() {
    bus_ = g_dbus_connection_new_for_address_sync(
        g_getenv("DBUS_SESSION_BUS_ADDRESS"),
        GDBusConnectionFlags(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT | G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, nullptr);
    GDBusNodeInfo* node = g_dbus_node_info_new_for_xml(kInterfaces, nullptr);
    static const GDBusInterfaceVTable vtable = {&StandIn::OnMethod, &StandIn::OnGetVersion, nullptr, {}};
    for (GDBusInterfaceInfo** interface = node->interfaces; *interface != nullptr; ++interface)
      g_dbus_connection_register_object(bus_, kPortalPath, *interface, &vtable, this, nullptr, nullptr);
    g_dbus_node_info_unref(node);
    g_variant_unref(g_dbus_connection_call_sync(bus_, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                                "org.freedesktop.DBus", "RequestName",
                                                g_variant_new("(su)", kPortalName, 0u), G_VARIANT_TYPE("(u)"),
                                                G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr));
  }
  ~StandIn() {
    g_dbus_connection_close_sync(bus_, nullptr, nullptr);
    g_object_unref(bus_);
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
    Hold(false);
  }
  const std::vector<std::string>& Events() const { return events_; }
  std::size_t Unanswered() const { return held_.size(); }
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
  static void OnMethod(GDBusConnection* bus, const gchar* sender, const gchar*, const gchar*, const gchar* method,
                       GVariant* parameters, GDBusMethodInvocation* invocation, gpointer data) {
    auto* self = static_cast<StandIn*>(data);
    self->calls_.push_back(method);
    if (g_str_has_prefix(method, "Notify")) return self->OnEvent(method, parameters, invocation);
    std::string caller = sender + 1;
    std::replace(caller.begin(), caller.end(), '.', '_');
    GVariant* options = g_variant_get_child_value(parameters, g_variant_n_children(parameters) - 1);
    const gchar* token = "";
    g_variant_lookup(options, "handle_token", "&s", &token);
    const std::string request = std::string(kPortalPath) + "/request/" + caller + "/" + token;
    g_variant_unref(options);
    g_dbus_method_invocation_return_value(invocation, g_variant_new("(o)", request.c_str()));
    const auto response = self->responses_.find(method);
    if (response == self->responses_.end()) return;
    g_dbus_connection_emit_signal(bus, nullptr, request.c_str(), "org.freedesktop.portal.Request", "Response",
                                  g_variant_new_parsed(response->second.c_str()), nullptr);
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
  std::vector<std::string> calls_;
  std::vector<std::string> events_;
  std::vector<GDBusMethodInvocation*> held_;
  bool hold_ = false;
};

// Runs the loop until `done` holds, or gives up after ten seconds.
template <typename Condition>
bool RunUntil(Condition done) {
  const gint64 deadline = g_get_monotonic_time() + 10 * G_USEC_PER_SEC;
  while (!done() && g_get_monotonic_time() < deadline) {
    if (!g_main_context_iteration(nullptr, FALSE)) g_usleep(1000);
  }
  return done();
}

// Runs first, before the suite below has a bus.
TEST(PortalWithoutBus, AnswersFromTheLoopAndNeverAfterItIsGone) {
  g_setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bus", TRUE);
  int answers = 0;
  {
    Portal portal;
    ASSERT_FALSE(portal.Missing().empty());
    const std::string token = portal.NewToken();
    portal.Request(kRemoteDesktop, "CreateSession", g_variant_new("(@a{sv})", Options({})), token,
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

  static inline GTestDBus* bus_ = nullptr;
  static inline StandIn* standIn_ = nullptr;
};

TEST_F(PortalTest, AResponseOfAnotherShapeFailsTheRequest) {
  Portal portal;
  standIn_->Answer("CreateSession", "('granted',)");
  bool answered = false;
  const std::string token = portal.NewToken();
  portal.Request(kRemoteDesktop, "CreateSession",
                 g_variant_new("(@a{sv})", Options({{"handle_token", g_variant_new_string(token.c_str())}})), token,
                 [&](const PortalAnswer& answer) {
                   EXPECT_EQ(answer.response, 2u);
                   EXPECT_NE(answer.error.find("Response"), std::string::npos) << answer.error;
                   answered = true;
                 });
  EXPECT_TRUE(RunUntil([&] { return answered; }));
}

TEST_F(PortalTest, TheSessionHandleIsAnObjectPathSentAsStringOrPath) {
  Portal portal;
  std::vector<std::string> lost;
  RemoteDesktop desktop(
      portal, [&](std::int64_t, const std::string& reason) { lost.push_back(reason); }, nullptr);
  standIn_->Answer("CreateSession", "(uint32 0, {'session_handle': <'not a path'>})");
  desktop.Ask(1);
  ASSERT_TRUE(RunUntil([&] { return !lost.empty(); }));
  EXPECT_NE(lost[0].find("CreateSession"), std::string::npos) << lost[0];
  EXPECT_FALSE(standIn_->Saw("SelectDevices"));

  standIn_->Answer("CreateSession", kSessionGranted);
  desktop.Ask(1);
  EXPECT_TRUE(RunUntil([&] { return standIn_->Saw("SelectDevices"); }));
  EXPECT_EQ(lost.size(), 1u);
}

TEST_F(PortalTest, OnlyAWellFormedActivatedOfTheBoundSessionPresses) {
  Portal portal;
  platform::gtk::HotkeyLatches keys;
  Shortcuts shortcuts(portal, keys);
  standIn_->Answer("CreateSession", kSessionGranted);
  shortcuts.Bind();
  ASSERT_TRUE(RunUntil([&] { return standIn_->Saw("BindShortcuts"); }));

  standIn_->Emit(kGlobalShortcuts, "Activated", "(" + kSession + ", 'F6', uint64 1, @a{sv} {})");  // a string
  standIn_->Emit(kGlobalShortcuts, "Activated", "(objectpath " + kSession + ", 'F6')");
  standIn_->Emit(kGlobalShortcuts, "Deactivated", "(objectpath " + kSession + ", 'F6')");
  standIn_->Emit(kGlobalShortcuts, "Activated", "(objectpath " + kSession + ", 'F5', uint64 1, @a{sv} {})");
  ASSERT_TRUE(RunUntil([&] { return keys.Pending(); }));
  EXPECT_FALSE(keys.Pressed(Hotkey::F6));
  EXPECT_TRUE(keys.Pressed(Hotkey::F5));
}

// Each call waits for the one before, except a move to where the pointer already is: a run
// that lags overlaps it with the last click's release, never a press with its own move.
TEST_F(PortalTest, OnlyAMoveToWhereThePointerIsOvertakesCallsInFlight) {
  Portal portal;
  bool ready = false;
  RemoteDesktop desktop(portal, nullptr, [&] { ready = true; });
  standIn_->Answer("CreateSession", kSessionGranted);
  standIn_->Answer("SelectDevices", "(uint32 0, @a{sv} {})");
  standIn_->Answer("SelectSources", "(uint32 0, @a{sv} {})");
  standIn_->Answer("Start", "(uint32 0, {'devices': <uint32 2>, 'streams': <[(uint32 44, {'position': <(0, 0)>, "
                            "'size': <(1280, 1024)>})]>})");
  desktop.Ask(1);
  ASSERT_TRUE(RunUntil([&] { return ready; }));
  standIn_->Hold(true);
  const auto events = [&](std::size_t count) { return RunUntil([&] { return standIn_->Events().size() >= count; }); };
  const auto tick = [&](double x, double y) {
    desktop.Move(x, y);
    desktop.Click(272, 1);
  };

  tick(100, 100);
  ASSERT_TRUE(events(1));
  standIn_->Answered(1);
  ASSERT_TRUE(events(2));  // the press only once its move is answered
  standIn_->Answered(1);
  ASSERT_TRUE(events(3));
  tick(100, 100);  // the release still in flight: only the move joins it
  ASSERT_TRUE(events(4));
  tick(100, 100);  // the tick before sent nothing but its move: it gives way
  ASSERT_TRUE(events(5));
  standIn_->Answered(3);
  ASSERT_TRUE(events(6));
  tick(200, 100);  // elsewhere: waits for the press and its release
  standIn_->Answered(1);
  ASSERT_TRUE(events(7));
  standIn_->Answered(1);
  ASSERT_TRUE(events(8));
  standIn_->Hold(false);
  ASSERT_TRUE(events(10));
  EXPECT_EQ(standIn_->Events(), (std::vector<std::string>{"move 100,100", "button 272 1", "button 272 0",
                                                          "move 100,100", "move 100,100", "button 272 1",
                                                          "button 272 0", "move 200,100", "button 272 1",
                                                          "button 272 0"}));
}

}  // namespace
