// The portal's way to the pointer. Asks for the session when the route says so; once it has
// started, makes F7's source (the screen casts' cursor metadata, where the session has them)
// and the clicks' way (libei or the Notify calls, as ChooseClicks says). What becomes of the
// session goes to the route, which alone keeps its state.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/wayland/click_ways.h"
#include "platform/wayland/input_route.h"
#include "platform/wayland/pointer_way.h"
#include "platform/wayland/portal/portal.h"
#include "platform/wayland/portal/remote_desktop_session.h"

namespace platform::wayland {

class CastPointer;

class PortalInput : private SessionEvents, private WayEvents {
 public:
  PortalInput(Portal& portal, InputRoute& route);
  ~PortalInput() override;
  PortalInput(const PortalInput&) = delete;
  PortalInput& operator=(const PortalInput&) = delete;

  void Ask(std::uint32_t version);
  // Null until the session has started.
  PointerWay* Way() { return way_.get(); }
  PointerReader* Reader() { return reader_.get(); }
  // How the clicks go and whether the session casts the screens, for the line on stderr.
  Clicks ClicksTaken() const { return clicks_; }
  bool Casts() const { return casts_; }

 private:
  void SessionStarted(const StartedSession& session) override;
  void SessionEnded(std::int64_t code, const std::string& reason) override;
  void WayReady() override;
  void WayLost(std::int64_t code, const std::string& reason) override;
  void ReadCasts(const StartedSession& session);
  void ClickThroughLibei();
  void ClickByNotifyCalls();

  Portal& portal_;
  InputRoute& route_;
  RemoteDesktopSession session_;
  Clicks clicks_ = Clicks::Notify;
  bool casts_ = true;
  StartedSession started_{};
  std::unique_ptr<PointerReader> reader_;
  CastPointer* cast_ = nullptr;  // reader_, where the session casts
  std::unique_ptr<PointerWay> way_;
};

}  // namespace platform::wayland
