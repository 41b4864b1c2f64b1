// The portal session's clicks as RemoteDesktop Notify calls, one D-Bus call per event. Each
// call is answered before the next goes out: the portal may pass calls in flight together to
// its backend in any order, a button before its move or a release before its press. While the
// compositor is slower than the run, a tick not yet sent gives way to the next one, so the
// calls never pile up.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>

#include "platform/wayland/pointer_way.h"
#include "platform/wayland/portal/portal.h"

namespace platform::wayland {

class NotifyCalls {
 public:
  // `lost` hears of a failed call; nothing more is sent after it.
  NotifyCalls(Portal& portal, std::string session, WayEvents& lost);
  ~NotifyCalls();
  NotifyCalls(const NotifyCalls&) = delete;
  NotifyCalls& operator=(const NotifyCalls&) = delete;

  // A move to (x, y) in the space the stream `node` takes moves in; starts a new tick.
  void Move(std::uint32_t node, double x, double y);
  void Click(int button, int times);
  void Scroll(int steps);
  // A relative step there and back: the pointer stays, and the screen casts report it.
  void Nudge();

 private:
  struct Call {
    const char* method;
    GVariant* args;  // floating until sent
  };
  void Send(const char* method, GVariant* args);
  void Pump();
  void DropUnsentTick();

  Portal& portal_;
  const std::string session_;
  WayEvents& lost_;
  std::deque<Call> queue_;
  bool waiting_ = false;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>();  // replies after the end are ignored
};

}  // namespace platform::wayland
