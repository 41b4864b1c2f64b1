#include "platform/wayland/portal_input.h"

#include <gdk/gdk.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/wayland/ei/ei_way.h"
#include "platform/wayland/portal/notify_way.h"
#include "platform/wayland/screencast/cast_pointer.h"

namespace platform::wayland {
namespace {

std::vector<Monitor> DesktopMonitors() {
  std::vector<Monitor> monitors;
  GdkDisplay* display = gdk_display_get_default();
  for (int i = 0; display != nullptr && i < gdk_display_get_n_monitors(display); ++i) {
    GdkMonitor* monitor = gdk_display_get_monitor(display, i);
    GdkRectangle geometry;
    gdk_monitor_get_geometry(monitor, &geometry);
    monitors.push_back({{geometry.x, geometry.y, geometry.width, geometry.height}, gdk_monitor_get_scale_factor(monitor)});
  }
  return monitors;
}

}  // namespace

PortalInput::PortalInput(Portal& portal, InputRoute& route) : portal_(portal), route_(route), session_(portal, *this) {}

PortalInput::~PortalInput() = default;

void PortalInput::Ask(std::uint32_t version) {
  clicks_ = ChooseClicks(ClickFactsHere(version));
  session_.Ask(version, clicks_ == Clicks::Libei);
}

void PortalInput::SessionStarted(const StartedSession& session) {
  started_ = session;
  casts_ = session.casts;
  if (!casts_) {
    reader_ = std::make_unique<UnreadablePointer>(
        "这个桌面不告诉 Tapwing 指针的位置: 它不能共享屏幕, 而指针的位置只在屏幕共享里. 请直接输入坐标");
    return ClickThroughLibei();  // libei's regions place the moves
  }
  ReadCasts(session);
  if (cast_ == nullptr) return;
  if (clicks_ == Clicks::Libei) return ClickThroughLibei();
  ClickByNotifyCalls();
}

// F7's position comes from the streams' cursor metadata; without it moves and clicks still work.
void PortalInput::ReadCasts(const StartedSession& session) {
  auto areas = MapStreams(session.streams, DesktopMonitors());
  if (areas.empty()) return session_.Fail(kRefused, "桌面门户没有给出屏幕");
  auto cast = std::make_unique<CastPointer>(std::move(areas), static_cast<WayEvents&>(*this));
  cast_ = cast.get();
  reader_ = std::move(cast);
  session_.OpenPipeWireRemote([this](int fd, const std::string&) {
    if (fd >= 0) cast_->Connect(fd);
  });
}

// A portal that cannot connect leaves the clicks to the Notify calls, where the session casts.
void PortalInput::ClickThroughLibei() {
  session_.ConnectToEis([this](int fd, const std::string& error) {
    if (fd >= 0) {
      way_ = OpenEiWay(fd, *this);
    } else if (!casts_) {
      session_.Fail(kRefused, "桌面门户没有接上 libei: " + error);
    } else {
      std::fprintf(stderr, "tapwing: 桌面门户没有接上 libei (%s), 点击改用门户的 Notify 调用\n", error.c_str());
      ClickByNotifyCalls();
    }
  });
}

void PortalInput::ClickByNotifyCalls() {
  clicks_ = Clicks::Notify;
  way_ = std::make_unique<NotifyWay>(portal_, session_.Handle(), started_, cast_->Areas(), *cast_,
                                     static_cast<WayEvents&>(*this));
  WayReady();
}

void PortalInput::WayReady() {
  session_.Working();
  route_.Granted();
}

void PortalInput::WayLost(std::int64_t code, const std::string& reason) { session_.Fail(code, reason); }

void PortalInput::SessionEnded(std::int64_t code, const std::string& reason) {
  way_.reset();
  reader_.reset();
  cast_ = nullptr;
  route_.Ended(code, reason);
}

}  // namespace platform::wayland
