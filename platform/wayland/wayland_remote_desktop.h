// The desktop's pointer through the RemoteDesktop portal: one session with a pointer device and
// ScreenCast streams of every monitor, which give the coordinate space for moves and, in their
// cursor metadata, the pointer's position. The permission is kept with persist_mode 2: the
// portal's restore token is the one file Tapwing writes ($XDG_STATE_HOME/tapwing/restore-token).
//
// Implemented: asking (once at a time, never blocking the loop), moves on the stream whose area
// holds the point, buttons, wheel steps, the pointer's last known position; a denied request, a
// session the desktop closes and a failed call all end the session and say why, once. The
// clicks go as Notify calls (portal_notify.h).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/wayland/pointer_way.h"
#include "platform/wayland/portal_notify.h"
#include "platform/wayland/wayland_portal.h"
#include "platform/wayland/wayland_stream_map.h"

namespace platform::wayland {

class CursorStreams;
class EiPointer;

// Whether a session of a portal of this RemoteDesktop version sends its clicks through libei:
// where Tapwing was built with it and the portal is version 2 (ConnectToEIS), unless
// TAPWING_NO_LIBEI is set (troubleshooting: the Notify calls instead).
bool ClicksThroughLibei(std::uint32_t version);

class RemoteDesktop : public PointerWay {
 public:
  enum class State { Idle, Asking, Ready };
  // The session ended or was never granted; `reason` is for the user.
  using Lost = std::function<void(std::int64_t code, const std::string& reason)>;

  // `ready` is called each time a session is granted and started, with how its clicks go.
  using Ready = std::function<void(const std::string& way)>;
  RemoteDesktop(Portal& portal, Lost lost, Ready ready);
  ~RemoteDesktop() override;
  RemoteDesktop(const RemoteDesktop&) = delete;
  RemoteDesktop& operator=(const RemoteDesktop&) = delete;

  State Current() const { return state_; }
  // Starts asking for a session, unless one is granted or being asked for. `version` is the
  // portal's RemoteDesktop version where the caller knows it already (0: ask the portal).
  void Ask(std::uint32_t version = 0);

  // Each does nothing unless the session is ready.
  void Move(double x, double y) override;
  void Click(int button, int times) override;
  void Scroll(int steps) override;
  // Where the pointer is, as the streams last showed it (or where a run holds it while they
  // rest). Nothing while they have not shown it yet: a nudge makes them. Throws
  // PointerUnreadable for a session without screen casts.
  std::optional<std::pair<int, int>> ReadPointer() override;

 private:
  void Fail(std::int64_t code, const std::string& reason);
  void End();
  bool Granted(const PortalAnswer& answer, const char* step);
  void CreateSession();
  void SelectDevices();
  void SelectSources();
  void Start();
  void Started(GVariant* results);
  void OpenCursorStreams();
  bool CastsNoScreens(const PortalAnswer& answer);
  void ConnectToEis();
  void ClickByNotifyCalls();
  void BeReady(const char* way);
  void PauseCursorStreams();
  void AskForPointerReport();

  Portal& portal_;
  Lost lost_;
  Ready ready_;
  State state_ = State::Idle;
  unsigned generation_ = 0;  // answers for an ended session are ignored
  std::uint32_t version_ = 0;
  std::string session_;
  std::uint64_t request_ = 0;  // the step waiting for the portal's answer
  guint closed_ = 0;
  bool castScreens_ = true;  // until a session without screen casts starts where one with them was refused
  std::vector<StreamArea> areas_;
  bool lastOnly_ = false;  // only the last stream's area can be reached (KDE Plasma 5.27)
  std::unique_ptr<CursorStreams> cursor_;
  static constexpr guint kResumeAfterMs = 200;
  guint resume_ = 0;  // the screen casts rest while this timer runs
  gint64 lastMove_ = 0;
  std::optional<std::pair<int, int>> pointer_;
  static constexpr gint64 kNudgeEveryUs = 300000;
  gint64 lastNudge_ = 0;
  std::unique_ptr<NotifyCalls> notify_;  // the clicks' way: Notify calls or libei
  std::unique_ptr<EiPointer> ei_;
  static constexpr guint kEiWaitSeconds = 5;
  guint eiWait_ = 0;
};

}  // namespace platform::wayland
