// Clicks as the portal's Notify calls, for portals without ConnectToEIS: each move goes to the
// stream whose area holds the point, in that stream's coordinates.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/wayland/pointer_way.h"
#include "platform/wayland/portal/notify_calls.h"
#include "platform/wayland/portal/remote_desktop_session.h"
#include "platform/wayland/screencast/stream_map.h"

namespace platform::wayland {

class NotifyWay : public PointerWay {
 public:
  // `frames`: the streams' negotiated sizes (GNOME takes moves in frame pixels).
  NotifyWay(Portal& portal, const std::string& session, const StartedSession& started, std::vector<StreamArea> areas,
            const FrameSizes& frames, WayEvents& lost);

  bool Move(double x, double y) override;
  void Click(int button, int times) override { calls_.Click(button, times); }
  void Scroll(int steps) override { calls_.Scroll(steps); }
  void Nudge() override { calls_.Nudge(); }

 private:
  NotifyCalls calls_;
  const std::vector<StreamArea> areas_;
  const FrameSizes& frames_;
  const bool lastOnly_;  // only the last stream's area can be reached (KDE Plasma 5.27)
};

}  // namespace platform::wayland
