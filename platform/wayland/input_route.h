// Which way Tapwing's clicks take to a Wayland desktop, as one state machine: the probe's
// choice, the portal's permission, its loss, and the fallback to the wlroots pointer. It knows
// no D-Bus and no display: the backend feeds it what the desktop answered and carries out what
// it decides, so every transition can be tried without a desktop.
//
//   Probing --probed(portal)--> Asking --granted--> Ready --ended--> Idle --press--> Asking
//           --probed(no portal)--> Wlr or None          Asking --refused--> Idle (or Wlr, below)
//
// A portal that fails before it ever worked gives way to the wlroots pointer where there is
// one (sway with GNOME's or KDE's portal backend installed beside it). Presses made while the
// route is still probing, or asking at start-up, wait; they count once it is settled, and are
// dropped where the start-up session is refused: its one message is all they get.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>

namespace platform::wayland {

class InputRoute {
 public:
  enum class State { Probing, Asking, Ready, Idle, Wlr, None };

  // What the route has the backend do.
  struct Effects {
    std::function<void()> ask;                                           // ask the portal for a session
    std::function<void(bool keep)> letPresses;                           // end the start-up wait
    std::function<void(std::int64_t code, const std::string& reason)> lost;  // one message for the user
    // The one line on stderr, once the route is settled: the way taken and what it knows of it
    // (how the portal's clicks go; why there is no portal).
    std::function<void(State way, const std::string& detail)> tell;
  };

  // `wlr`: the compositor has the wlroots virtual pointer.
  InputRoute(bool wlr, Effects effects) : wlr_(wlr), effects_(std::move(effects)) {}

  State Current() const { return state_; }

  // The probe's answer: the portal's RemoteDesktop version (0: none) and, where there is none,
  // why.
  void Probed(std::uint32_t version, const std::string& why);
  // A portal session was granted and started; `way` names how its clicks go, for the line.
  void Granted(const std::string& way);
  // The portal session was refused or ended.
  void Ended(std::int64_t code, const std::string& reason);
  // An F7 or F5 press about to use the input. False where it must not act now: the route is
  // still probing, or the session is being asked for (this press asks, where none is).
  bool Admit();

 private:
  void Tell(const std::string& detail);

  const bool wlr_;
  Effects effects_;
  State state_ = State::Probing;
  bool worked_ = false;  // a portal session was ready once: its loss is reported, not bypassed
  bool told_ = false;
};

}  // namespace platform::wayland
