// A deterministic backend for the unit tests: controls that keep their state in memory, timers on
// a virtual clock, and a system, keyboard and input device whose answers the test sets. Nothing
// happens by itself: the test fires ticks, moves the clock, moves the focus and types by hand.
//
// Implemented: everything Form1 uses, and the backend contract (tests/unit/backend_contract.h)
// on virtual time. Not shown by it: painting, real key state, real timing.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/controls.h"
#include "platform/focus_tracker.h"
#include "platform/input_device.h"
#include "platform/keyboard.h"
#include "platform/services.h"
#include "platform/timer_state.h"

namespace fake {

class TextBox : public platform::TextBox {
 public:
  explicit TextBox(std::string text) : text_(std::move(text)) {}
  std::string Text() const override { return text_; }
  void SetText(std::string_view text) override;
  // The user types `keys` one character at a time; each keystroke raises Change.
  void Type(std::string_view keys);

 private:
  std::string text_;
};

class ComboList : public platform::ComboList {
 public:
  std::string Text() const override;
  void AddItem(std::string_view text, int index) override;
  void SetListIndex(int index) override;
  const std::vector<std::string>& Items() const { return items_; }

 private:
  std::vector<std::string> items_;
  int index_ = -1;
};

class Clock;

// A timer on the form's virtual clock: it ticks on a fixed grid from its last (re)start and drops
// the ticks the clock passed over while stalled.
class Timer : public platform::TimerState {
 public:
  Timer(Clock& clock, int interval, bool enabled, platform::TimerUse use);
  platform::TimerUse Use() const { return use_; }
  // How often the period has (re)started: a new interval or enabling while it counts.
  int Starts() const { return starts_; }
  // The period elapses now, whatever the clock says: raises Tick if the timer runs; returns
  // whether it did.
  bool Fire();

 private:
  friend class Clock;
  void Restart() override;

  Clock& clock_;
  platform::TimerUse use_;
  int starts_ = 0;
  long long due_ = 0;
};

class Clock {
 public:
  long long Now() const { return now_; }
  // Moves the clock to `until`, ticking every timer that falls due on the way.
  void AdvanceTo(long long until);
  // Time passes without any tick, as while a handler keeps the thread busy.
  void Stall(int milliseconds) { now_ += milliseconds; }
  void Add(Timer& timer) { timers_.push_back(&timer); }

 private:
  long long now_ = 0;
  std::vector<Timer*> timers_;
};

// Draws nothing; remembers what it was asked to draw.
class PictureBox : public platform::PictureBox {
 public:
  void DrawImage(std::string_view file, int x, int y) override;
  std::vector<std::string> drawn;  // "file x y"
};

class Frame : public platform::Frame {};

struct Placed {
  std::string kind;  // "frame", "text", "combo", "picture"
  const platform::Frame* container;
  platform::Bounds bounds;
  std::string text;  // caption, initial text or tooltip
  std::string name;
};

class FormBuilder : public platform::FormBuilder {
 public:
  void SetForm(std::string_view caption, int clientWidth, int clientHeight) override;
  platform::Frame& AddFrame(const platform::Bounds& bounds, std::string_view caption) override;
  platform::TextBox& AddTextBox(const platform::Frame& container, const platform::Bounds& bounds,
                                std::string_view text) override;
  platform::ComboList& AddComboList(const platform::Frame& container, const platform::Bounds& bounds,
                                    std::string_view name) override;
  platform::PictureBox& AddPictureBox(const platform::Bounds& bounds, std::string_view toolTip,
                                      std::string_view name) override;
  platform::Timer& AddTimer(int interval, bool enabled, platform::TimerUse use) override;

  // Moves the keyboard focus to a control, raising the focus events.
  void Focus(platform::TextBox& box) { focus_.Enter(&box, &box); }
  void Focus(const void* control) { focus_.Enter(control, nullptr); }

  Clock clock;
  std::string caption;
  int clientWidth = 0, clientHeight = 0;
  std::vector<Placed> placed;  // in creation order, timers excluded

 private:
  template <typename T, typename... Args>
  T& Keep(Args&&... args);

  std::vector<std::shared_ptr<void>> controls_;
  platform::FocusTracker focus_;
};

struct Message {
  std::string prompt, title;
  friend bool operator==(const Message&, const Message&) = default;
};

// Records every operation as text ("move 12,34", "ClickLeft", "read"); fails with `failure`
// while it is non-zero.
class InputDevice : public platform::InputDevice {
 public:
  struct State {
    std::vector<std::string> calls;
    std::string cursorX = "0", cursorY = "0";
    bool cursorKnown = true;
    std::string cursorUnreadable;  // where set, reading throws PointerUnreadable with this text
    std::int64_t failure = 0;
    bool moveFails = false;  // only MoveCursor fails, as a point no screen holds does
    int opened = 0, closed = 0;
  };
  explicit InputDevice(State& state) : state_(state) { ++state_.opened; }
  ~InputDevice() override { ++state_.closed; }

  bool ReadCursor(std::string& x, std::string& y) override;
  void MoveCursor(std::int32_t x, std::int32_t y) override;
  void ClickLeft() override { Record("ClickLeft"); }
  void ClickRight() override { Record("ClickRight"); }
  void ClickMiddle() override { Record("ClickMiddle"); }
  void DoubleClickLeft() override { Record("DoubleClickLeft"); }
  void WheelUp() override { Record("WheelUp"); }
  void WheelDown() override { Record("WheelDown"); }

 private:
  void Record(std::string call);
  State& state_;
};

class Services : public platform::Services {
 public:
  void MsgBox(std::string_view prompt, std::string_view title) override;
  bool PrevInstance() override { return prevInstance; }
  void End() override { ++ends; }
  std::string DecimalSeparator() override { return decimalSeparator; }
  std::string ProgramFile(std::string_view name) override { return programFolder + "/" + std::string(name); }
  void RegisterComponent(std::string_view file) override { chores.push_back("register " + std::string(file)); }
  void AttachSkin(std::string_view skinFile) override { chores.push_back("skin " + std::string(skinFile)); }
  std::unique_ptr<platform::InputDevice> OpenInput() override;
  bool InputAllowed() override {
    ++inputAsked;
    return inputAllowed;
  }

  bool prevInstance = false;
  int ends = 0;
  std::string programFolder = "/opt/Tapwing";
  std::string decimalSeparator = ".";
  std::vector<std::string> chores;
  std::vector<Message> messages;
  // Runs while a message box is open, as the modal loop would run other events.
  std::function<void(const Message&)> whileMessageOpen;
  // The device OpenInput hands out; while `openFailure` is non-zero it fails to open.
  InputDevice::State input;
  std::int64_t openFailure = 0;
  // What InputAllowed answers, and how often it was asked.
  bool inputAllowed = true;
  int inputAsked = 0;
};

// Each key answers the queued presses in turn, then "not pressed".
class Keyboard : public platform::Keyboard {
 public:
  bool Pressed(platform::Hotkey key) override;
  void Queue(platform::Hotkey key, bool pressed) { queued_[key].push_back(pressed); }
  const std::vector<platform::Hotkey>& Reads() const { return reads_; }

 private:
  std::map<platform::Hotkey, std::deque<bool>> queued_;
  std::vector<platform::Hotkey> reads_;
};

}  // namespace fake
