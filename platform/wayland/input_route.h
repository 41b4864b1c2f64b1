// Which way Tapwing's clicks take to a Wayland desktop, as one state machine: the probe's
// choice, the portal's permission and its loss. It knows no D-Bus and no display: the backend
// feeds it what the desktop answered and carries out what it decides, so every transition can
// be tried without a desktop.
//
//   Probing --probed(portal)--> Asking --granted--> Ready --ended--> Idle --press--> Asking
//           --probed(wlroots, or no portal)--> Wlr or None      Asking --refused--> Idle
//
// A wlroots desktop takes its own virtual pointer, even where a portal answers: that portal
// belongs to another desktop installed beside it (labwc's portal config falls back to any).
// Presses made while the route is still probing, or asking at start-up, wait; they count once
// it is settled, and are dropped where the start-up session is refused: its one message is all
// they get.
#pragma once

#include <cstdint>
#include <string>

namespace platform::wayland {

class InputRoute {
 public:
  enum class State { Probing, Asking, Ready, Idle, Wlr, None };

  // What the route has the backend do.
  class Driver {
   public:
    virtual ~Driver() = default;
    virtual void AskForSession() = 0;
    virtual void LetPresses(bool keep) = 0;  // ends the start-up wait; `keep` false drops them
    virtual void ReportLoss(std::int64_t code, const std::string& reason) = 0;  // one message for the user
    // The one line on stderr, once the route is settled: the state it settled in and, where
    // there is no portal session, why.
    virtual void Tell(State state, const std::string& why) = 0;
  };

  // `wlr`: the compositor has the wlroots virtual pointer.
  InputRoute(bool wlr, Driver& driver) : wlr_(wlr), driver_(driver) {}

  State Current() const { return state_; }

  // The probe's answer: the portal's RemoteDesktop version (0: none) and, where there is none,
  // why.
  void Probed(std::uint32_t version, const std::string& why);
  // The portal session asked for is granted and its clicks can go.
  void Granted();
  // The portal session was refused or ended.
  void Ended(std::int64_t code, const std::string& reason);
  // An F7 or F5 press about to use the input. False where it must not act now: the route is
  // still probing, or the session is being asked for (this press asks, where none is).
  bool Admit();

 private:
  void Tell(const std::string& why);

  const bool wlr_;
  Driver& driver_;
  State state_ = State::Probing;
  bool told_ = false;
};

}  // namespace platform::wayland
