// EiPointer against a stand-in compositor made with libeis on the same GLib loop: one seat with
// one absolute pointer over two outputs (1280x1024 at scale 2, then 1280x1024 at scale 1 to
// its right) that also has buttons and a wheel. The stand-in writes down what arrives.
#include <glib-unix.h>
#include <glib.h>
#include <gtest/gtest.h>
#include <libeis.h>

#include <cstddef>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "platform/wayland/ei/ei_pointer.h"

namespace {

using platform::wayland::EiPointer;

constexpr int kLeft = 0x110;

class StandIn {
 public:
  // `resume`: the device is resumed as it is added; else it waits for Resume().
  explicit StandIn(bool resume = true) : eis_(eis_new(nullptr)), resume_(resume) {
    eis_setup_backend_fd(eis_);
    source_ = g_unix_fd_add(eis_get_fd(eis_), G_IO_IN, &StandIn::OnSocket, this);
  }
  ~StandIn() {
    g_source_remove(source_);
    if (device_ != nullptr) eis_device_unref(device_);
    if (seat_ != nullptr) eis_seat_unref(seat_);
    if (client_ != nullptr) eis_client_unref(client_);
    eis_unref(eis_);
  }

  int NewClient() { return eis_backend_fd_add_client(eis_); }
  eis_device* Device() const { return device_; }
  const std::vector<std::string>& Log() const { return log_; }
  bool ClientGone() const { return gone_; }
  // The client has read everything sent before the last ping.
  bool Synced() const { return synced_; }
  void Resume() { eis_device_resume(device_); }

 private:
  static gboolean OnSocket(gint, GIOCondition, gpointer data) {
    auto* self = static_cast<StandIn*>(data);
    eis_dispatch(self->eis_);
    while (eis_event* event = eis_get_event(self->eis_)) {
      self->Handle(event);
      eis_event_unref(event);
    }
    return G_SOURCE_CONTINUE;
  }

  void Handle(eis_event* event) {
    switch (eis_event_get_type(event)) {
      case EIS_EVENT_CLIENT_CONNECT: {
        client_ = eis_client_ref(eis_event_get_client(event));
        eis_client_connect(client_);
        seat_ = eis_client_new_seat(client_, "seat0");
        for (auto cap : {EIS_DEVICE_CAP_POINTER_ABSOLUTE, EIS_DEVICE_CAP_BUTTON, EIS_DEVICE_CAP_SCROLL})
          eis_seat_configure_capability(seat_, cap);
        eis_seat_add(seat_);
        break;
      }
      case EIS_EVENT_SEAT_BIND:
        if (device_ == nullptr) AddDevice();
        break;
      case EIS_EVENT_PONG:
        synced_ = true;
        break;
      case EIS_EVENT_CLIENT_DISCONNECT:
        gone_ = true;
        break;
      case EIS_EVENT_DEVICE_START_EMULATING:
        log_.push_back("start");
        break;
      case EIS_EVENT_POINTER_MOTION_ABSOLUTE:
        log_.push_back("abs " + std::to_string(static_cast<int>(eis_event_pointer_get_absolute_x(event))) + " " +
                       std::to_string(static_cast<int>(eis_event_pointer_get_absolute_y(event))));
        break;
      case EIS_EVENT_BUTTON_BUTTON:
        log_.push_back("button " + std::to_string(eis_event_button_get_button(event)) +
                       (eis_event_button_get_is_press(event) ? " down" : " up"));
        break;
      case EIS_EVENT_SCROLL_DISCRETE:
        log_.push_back("wheel " + std::to_string(eis_event_scroll_get_discrete_dy(event)));
        break;
      case EIS_EVENT_FRAME:
        log_.push_back("frame");
        break;
      default:
        break;
    }
  }

  void AddDevice() {
    device_ = eis_seat_new_device(seat_);
    eis_device_configure_name(device_, "stand-in pointer");
    for (auto cap : {EIS_DEVICE_CAP_POINTER_ABSOLUTE, EIS_DEVICE_CAP_BUTTON, EIS_DEVICE_CAP_SCROLL})
      eis_device_configure_capability(device_, cap);
    for (auto [x, scale] : {std::pair{0u, 2.0}, std::pair{1280u, 1.0}}) {
      eis_region* region = eis_device_new_region(device_);
      eis_region_set_offset(region, x, 0);
      eis_region_set_size(region, 1280, 1024);
      eis_region_set_physical_scale(region, scale);
      eis_region_add(region);
      eis_region_unref(region);
    }
    eis_device_add(device_);
    if (resume_) {
      eis_device_resume(device_);
      return;
    }
    struct eis_ping* ping = eis_client_new_ping(client_);
    eis_ping(ping);
    eis_ping_unref(ping);
  }

  eis* eis_;
  bool resume_;
  guint source_ = 0;
  eis_client* client_ = nullptr;
  eis_seat* seat_ = nullptr;
  eis_device* device_ = nullptr;
  std::vector<std::string> log_;
  bool gone_ = false;
  bool synced_ = false;
};

// Runs the loop until `done`, for 5 s at most.
bool RunUntil(const std::function<bool()>& done) {
  const gint64 deadline = g_get_monotonic_time() + 5 * G_USEC_PER_SEC;
  const guint tick = g_timeout_add(20, [](gpointer) -> gboolean { return G_SOURCE_CONTINUE; }, nullptr);
  while (!done() && g_get_monotonic_time() < deadline) g_main_context_iteration(nullptr, TRUE);
  g_source_remove(tick);
  return done();
}

struct Session : platform::wayland::WayEvents {
  explicit Session(bool resume = true) : desktop(resume) {}
  void WayReady() override { ++readyCalls; }
  void WayLost(std::int64_t, const std::string& reason) override { losses.push_back(reason); }
  StandIn desktop;
  int readyCalls = 0;
  std::vector<std::string> losses;
  EiPointer pointer{desktop.NewClient(), *this};
};

TEST(EiPointer, SendsNothingBeforeTheResumeThenMovesClicksAndWheelStepsFramed) {
  Session s(false);
  ASSERT_TRUE(RunUntil([&] { return s.desktop.Synced(); }));  // the device is known, not resumed
  EXPECT_FALSE(s.pointer.Ready());
  EXPECT_FALSE(s.pointer.Move(1500, 300));
  EXPECT_EQ(s.readyCalls, 0);
  s.desktop.Resume();
  ASSERT_TRUE(RunUntil([&] { return s.pointer.Ready(); }));
  EXPECT_EQ(s.readyCalls, 1);
  ASSERT_TRUE(s.pointer.Move(1500, 300));  // on the second output: by its middle, past any edge barrier
  ASSERT_TRUE(s.pointer.Move(3000, -20));  // beyond its right edge: the same output
  s.pointer.Click(kLeft, 1);
  s.pointer.Scroll(1);
  const std::vector<std::string> expected = {"start", "abs 1920 512", "frame", "abs 1500 300", "frame", "abs 2559 0",
                                             "frame", "button 272 down", "frame", "button 272 up", "frame", "wheel 120",
                                             "frame"};
  ASSERT_TRUE(RunUntil([&] { return s.desktop.Log().size() >= expected.size(); }));
  EXPECT_EQ(s.desktop.Log(), expected);
  EXPECT_TRUE(s.losses.empty());
}

TEST(EiPointer, ARemovedDeviceIsLostOnceAndNothingIsSentAfter) {
  Session s;
  ASSERT_TRUE(RunUntil([&] { return s.pointer.Ready(); }));
  eis_device_remove(s.desktop.Device());
  ASSERT_TRUE(RunUntil([&] { return !s.losses.empty(); }));
  EXPECT_EQ(s.losses, std::vector<std::string>{"输入设备已被桌面移除"});
  EXPECT_FALSE(s.pointer.Ready());
  const std::size_t before = s.desktop.Log().size();
  EXPECT_FALSE(s.pointer.Move(1500, 300));
  s.pointer.Click(kLeft, 2);
  s.pointer.Scroll(-1);
  // Giving up closes the connection: once the stand-in has seen that, everything sent is in.
  ASSERT_TRUE(RunUntil([&] { return s.desktop.ClientGone(); }));
  EXPECT_EQ(s.desktop.Log().size(), before);
  EXPECT_EQ(s.losses.size(), 1u);
}

}  // namespace
