#include "platform/wayland/portal/notify_way.h"

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "platform/input_device.h"

namespace platform::wayland {
namespace {

// KDE Plasma 5.27's portal (version 1, streams without a position) lands every move on its last
// output, whichever stream the move names (measured with two outputs).
bool LastStreamOnly(const StartedSession& started, const std::vector<StreamArea>& areas) {
  return started.version < 2 && areas.size() > 1 &&
         std::none_of(started.streams.begin(), started.streams.end(),
                      [](const StreamInfo& s) { return s.position.has_value(); });
}

}  // namespace

NotifyWay::NotifyWay(Portal& portal, const std::string& session, const StartedSession& started,
                     std::vector<StreamArea> areas, const FrameSizes& frames, WayEvents& lost)
    : calls_(portal, session, lost),
      areas_(std::move(areas)),
      frames_(frames),
      lastOnly_(LastStreamOnly(started, areas_)) {}

bool NotifyWay::Move(double x, double y) {
  const auto target = ToStream(areas_, x, y);
  // A click must never land wherever the pointer happens to be: without a place, no tick.
  if (!target) throw DeviceUnavailable(kRefused, "远程桌面", "桌面门户没有给出屏幕");
  // A click on another screen than the point's would be worse than none.
  if (lastOnly_ && target->stream + 1 != areas_.size())
    throw DeviceUnavailable(kUnreachable, "远程桌面",
                            "这个点所在的屏幕, KDE Plasma 5.27 的桌面门户移不到: 它把指针都移到最后一个屏幕上");
  const StreamPoint at = InFramePixels(areas_[target->stream], *target, frames_.FrameSize(target->stream));
  calls_.Move(areas_[target->stream].node, at.x, at.y);
  return true;
}

}  // namespace platform::wayland
