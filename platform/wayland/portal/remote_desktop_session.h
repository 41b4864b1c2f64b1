// A RemoteDesktop portal session with a pointer and, where the desktop can cast its screens,
// ScreenCast streams of every monitor (their cursor metadata is F7's source). The permission is
// kept with persist_mode 2: the portal's restore token is the one file Tapwing writes.
//
// Each question (CreateSession, SelectDevices, SelectSources, Start) is one Attempt, which then
// holds the session it opened. Ending it closes what it has at the portal (a dialog still up
// goes away); an answer that comes for it later is ignored. Only the portal is talked to here:
// what the session is used for is the caller's.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/wayland/portal/portal.h"
#include "platform/wayland/screencast/stream_map.h"

namespace platform::wayland {

struct StartedSession {
  std::uint32_t version;            // the portal's RemoteDesktop version
  std::vector<StreamInfo> streams;  // none without screen casts
  bool casts;
};

class SessionEvents {
 public:
  virtual ~SessionEvents() = default;
  virtual void SessionStarted(const StartedSession& session) = 0;
  // Refused, failed or closed by the desktop; the session is ended already. `reason` is for the user.
  virtual void SessionEnded(std::int64_t code, const std::string& reason) = 0;
};

class RemoteDesktopSession {
 public:
  RemoteDesktopSession(Portal& portal, SessionEvents& events);
  ~RemoteDesktopSession();
  RemoteDesktopSession(const RemoteDesktopSession&) = delete;
  RemoteDesktopSession& operator=(const RemoteDesktopSession&) = delete;

  // A new question, in place of any before. `libei`: the clicks would go through libei, which
  // needs no screen cast, so a desktop that cannot cast is asked again without.
  void Ask(std::uint32_t version, bool libei);
  // Ends the session or the question; reports nothing.
  void End();
  // Ends it and tells the events why.
  void Fail(std::int64_t code, const std::string& reason);
  // The started session's clicks go: whatever the desktop refuses later, it was not the screen
  // casts left out of it.
  void Working();

  // A file descriptor from a call on the started session, or -1 and why not.
  using FdReply = std::function<void(int fd, const std::string& error)>;
  void ConnectToEis(FdReply done);
  void OpenPipeWireRemote(FdReply done);
  const std::string& Handle() const;

 private:
  class Attempt;
  void CallForFd(const char* interface, const char* method, FdReply done);
  void AskWithoutCasts();

  Portal& portal_;
  SessionEvents& events_;
  std::shared_ptr<Attempt> attempt_;
  std::uint32_t version_ = 0;
  bool libei_ = false;
  bool castScreens_ = true;  // until a session without screen casts starts where one with them was refused
};

}  // namespace platform::wayland
