// The desktop's pointer through the RemoteDesktop portal: one session with a pointer device and
// ScreenCast streams of every monitor, which give the coordinate space for moves and, in their
// cursor metadata, the pointer's position. The permission is kept with persist_mode 2: the
// portal's restore token is the one file Tapwing writes ($XDG_STATE_HOME/tapwing/restore-token).
//
// Implemented: asking (once at a time, never blocking the loop), moves on the stream whose area
// holds the point, buttons, wheel steps, the pointer's last known position; a denied request, a
// session the desktop closes and a failed call all end the session and say why, once.
// Each call is answered before the next goes out: the portal may pass calls in flight together
// to its backend in any order, a button before its move or a release before its press. While
// the compositor is slower than the run, a tick not yet sent gives way to the next one, so the
// calls never pile up.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/wayland/wayland_portal.h"
#include "platform/wayland/wayland_stream_map.h"

namespace platform::wayland {

class CursorStreams;

class RemoteDesktop {
 public:
  enum class State { Idle, Asking, Ready };
  // The session ended or was never granted; `reason` is for the user.
  using Lost = std::function<void(std::int64_t code, const std::string& reason)>;

  // `ready` is called each time a session is granted and started.
  RemoteDesktop(Portal& portal, Lost lost, std::function<void()> ready);
  ~RemoteDesktop();
  RemoteDesktop(const RemoteDesktop&) = delete;
  RemoteDesktop& operator=(const RemoteDesktop&) = delete;

  State Current() const { return state_; }
  // Starts asking for a session, unless one is granted or being asked for. `version` is the
  // portal's RemoteDesktop version where the caller knows it already (0: ask the portal).
  void Ask(std::uint32_t version = 0);

  // Each does nothing unless the session is ready. Coordinates are the desktop's logical ones;
  // Move throws InputError where no stream can place the point.
  void Move(double x, double y);
  void Click(int button, int times);  // evdev button code (BTN_LEFT...)
  void Scroll(int steps);             // positive: down
  // Where the pointer is, as the streams last showed it, else where we last moved it.
  std::optional<std::pair<int, int>> Pointer() const;

 private:
  struct Call {
    const char* method;
    GVariant* args;  // floating until sent
  };

  void Fail(std::int64_t code, const std::string& reason);
  void End();
  bool Granted(const PortalAnswer& answer, const char* step);
  void CreateSession();
  void SelectDevices();
  void SelectSources();
  void Start();
  void Started(GVariant* results);
  void OpenCursorStreams();
  void Send(const char* method, GVariant* args);
  void Pump();
  void DropUnsentTicks();
  void PauseCursorStreams();

  Portal& portal_;
  Lost lost_;
  std::function<void()> ready_;
  State state_ = State::Idle;
  unsigned generation_ = 0;  // answers for an ended session are ignored
  std::uint32_t version_ = 0;
  std::string session_;
  std::uint64_t request_ = 0;  // the step waiting for the portal's answer
  guint closed_ = 0;
  std::vector<StreamArea> areas_;
  bool lastOnly_ = false;  // only the last stream's area can be reached (KDE Plasma 5.27)
  std::unique_ptr<CursorStreams> cursor_;
  static constexpr guint kResumeAfterMs = 200;
  guint resume_ = 0;  // the screen casts rest while this timer runs
  gint64 lastMove_ = 0;
  std::optional<std::pair<int, int>> pointer_;
  std::deque<Call> queue_;
  bool waiting_ = false;
};

}  // namespace platform::wayland
