// A deterministic platform for the unit tests: controls that keep their state in memory, and a
// system whose answers the test sets. Nothing happens by itself: the test fires timer ticks,
// focus moves, clicks and typing by hand. Implemented: everything the form uses. Not shown by
// it: painting, real key state, real timing.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/controls.h"
#include "platform/focus_tracker.h"
#include "platform/lazy_proc.h"
#include "platform/services.h"
#include "platform/stdcall.h"

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
  int ListIndex() const { return index_; }

 private:
  std::vector<std::string> items_;
  int index_ = -1;
};

class Timer : public platform::Timer {
 public:
  Timer(int interval, bool enabled, platform::TimerUse use) : interval_(interval), enabled_(enabled), use_(use) {}
  int Interval() const override { return interval_; }
  void SetInterval(int milliseconds) override;
  bool Enabled() const override { return enabled_; }
  void SetEnabled(bool enabled) override;
  platform::TimerUse Use() const { return use_; }
  bool Running() const { return enabled_ && interval_ > 0; }
  // How often the period has (re)started: a new interval or enabling while it counts.
  int Starts() const { return starts_; }
  // The period elapses: raises Tick if the timer runs; returns whether it did.
  bool Fire();

 private:
  int interval_;
  bool enabled_;
  platform::TimerUse use_;
  int starts_ = 0;
};

class PictureBox : public platform::PictureBox {
 public:
  static constexpr std::uintptr_t kDC = 0xDC01;
  std::uintptr_t hDC() const override { return kDC; }
};

class Frame : public platform::Frame {};

struct Placed {
  std::string kind;  // "frame", "text", "combo", "picture"
  const platform::Frame* container;
  platform::Bounds bounds;
  std::string text;
};

class FormBuilder : public platform::FormBuilder {
 public:
  void SetForm(std::string_view caption, int clientWidth, int clientHeight) override;
  platform::Frame& AddFrame(const platform::Bounds& bounds, std::string_view caption) override;
  platform::TextBox& AddTextBox(const platform::Frame& container, const platform::Bounds& bounds,
                                std::string_view text) override;
  platform::ComboList& AddComboList(const platform::Frame& container, const platform::Bounds& bounds) override;
  platform::PictureBox& AddPictureBox(const platform::Bounds& bounds, std::string_view toolTip) override;
  platform::Timer& AddTimer(int interval, bool enabled, platform::TimerUse use) override;

  // Moves the keyboard focus to `control` (one of the placed controls), raising the focus events.
  void Focus(const void* control);

  std::string caption;
  int clientWidth = 0, clientHeight = 0;
  std::vector<Placed> placed;  // in creation order, timers excluded

 private:
  template <typename T, typename... Args>
  T& Keep(Args&&... args);

  std::vector<std::shared_ptr<void>> controls_;
  std::map<const void*, platform::TextBox*> textBoxes_;
  platform::FocusTracker focus_;
};

struct Message {
  std::string prompt, title;
  friend bool operator==(const Message&, const Message&) = default;
};

class Services : public platform::Services {
 public:
  void MsgBox(std::string_view prompt, std::string_view title) override;
  bool PrevInstance() override { return prevInstance; }
  void End() override { ++ends; }
  std::string AppPath() override { ++appPathReads; return appPath; }
  void StartHidden(std::string_view program, std::string_view commandLine) override;
  std::string DecimalSeparator() override { return decimalSeparator; }
  void* CreateObject(const platform::Guid& classId, const platform::Guid& interfaceId) override;

  bool prevInstance = false;
  int ends = 0;
  std::string appPath = "C:\\Tapwing";
  int appPathReads = 0;
  std::string decimalSeparator = ".";
  std::vector<Message> messages;
  std::vector<std::pair<std::string, std::string>> started;  // program, command line
  // Runs while a message box is open, as the modal loop would run other events.
  std::function<void(const Message&)> whileMessageOpen;
  std::function<void*(const platform::Guid&, const platform::Guid&)> createObject;
};

// Entry points that platform::LazyProc binds, by library and entry name. Installing one replaces
// the resolver and forgets earlier bindings; the destructor leaves no resolver behind.
class Bindings {
 public:
  Bindings();
  ~Bindings();
  Bindings(const Bindings&) = delete;
  Bindings& operator=(const Bindings&) = delete;

  template <typename Fn>
  void Add(const char* library, const char* entry, Fn function) {
    table_[{library, entry}] = reinterpret_cast<void*>(function);
  }
  // Libraries and entries asked for, in order, with where they may be loaded from.
  const std::vector<std::pair<std::string, platform::Search>>& Requests() const { return requests_; }

 private:
  static void* Resolve(const platform::Library& library, const char* entry);
  std::map<std::pair<std::string, std::string>, void*> table_;
  std::vector<std::pair<std::string, platform::Search>> requests_;
};

// GetAsyncKeyState for the tests: each key answers the queued states in turn, then 0.
class Keyboard {
 public:
  explicit Keyboard(Bindings& bindings);
  ~Keyboard();
  void Queue(int virtualKey, std::uint16_t state) { states_[virtualKey].push_back(state); }
  const std::vector<int>& Queries() const { return queries_; }

 private:
  static std::int16_t TW_STDCALL GetAsyncKeyState(int virtualKey);
  std::map<int, std::deque<std::uint16_t>> states_;
  std::vector<int> queries_;
};

}  // namespace fake
