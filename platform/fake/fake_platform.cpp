#include "platform/fake/fake_platform.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

#include "platform/text.h"

namespace fake {

void TextBox::SetText(std::string_view text) {
  text_ = text;
  if (Change) Change();
}

void TextBox::Type(std::string_view keys) {
  for (std::size_t i = 0; i < platform::CountChars(keys); ++i) {
    text_ += platform::MidChars(keys, i, 1);
    if (Change) Change();
  }
}

std::string ComboList::Text() const { return index_ < 0 ? std::string() : items_[index_]; }

void ComboList::AddItem(std::string_view text, int index) {
  if (index < 0 || index > static_cast<int>(items_.size())) throw std::out_of_range("list index");
  items_.insert(items_.begin() + index, std::string(text));
}

void ComboList::SetListIndex(int index) {
  if (index < -1 || index >= static_cast<int>(items_.size())) throw std::out_of_range("list index");
  index_ = index;
}

Timer::Timer(Clock& clock, int interval, bool enabled, platform::TimerUse use)
    : TimerState(interval, enabled), clock_(clock), use_(use) {
  clock_.Add(*this);
  due_ = clock_.Now() + interval;
}

void Timer::Restart() {
  if (!Running()) return;
  ++starts_;
  due_ = clock_.Now() + Interval();
}

bool Timer::Fire() {
  if (!Running()) return false;
  if (Tick) Tick();
  return true;
}

// The next due timer ticks once, however late; its next tick is the first grid point after now.
// The grid moves on before the tick, so a handler that runs the clock itself (a message box's
// loop) does not see the same tick again.
void Clock::AdvanceTo(long long until) {
  for (;;) {
    Timer* next = nullptr;
    for (Timer* timer : timers_) {
      if (timer->Running() && timer->due_ <= until && (next == nullptr || timer->due_ < next->due_)) next = timer;
    }
    if (next == nullptr) break;
    now_ = std::max(now_, next->due_);
    while (next->due_ <= now_) next->due_ += next->Interval();
    next->Fire();
  }
  now_ = std::max(now_, until);
}

void PictureBox::DrawImage(std::string_view file, int x, int y) {
  drawn.push_back(std::string(file) + " " + std::to_string(x) + " " + std::to_string(y));
}

void FormBuilder::SetForm(std::string_view text, int width, int height) {
  caption = text;
  clientWidth = width;
  clientHeight = height;
}

template <typename T, typename... Args>
T& FormBuilder::Keep(Args&&... args) {
  auto control = std::make_shared<T>(std::forward<Args>(args)...);
  controls_.push_back(control);
  return *control;
}

platform::Frame& FormBuilder::AddFrame(const platform::Bounds& bounds, std::string_view text) {
  placed.push_back({"frame", nullptr, bounds, std::string(text), {}});
  return Keep<Frame>();
}

platform::TextBox& FormBuilder::AddTextBox(const platform::Frame& container, const platform::Bounds& bounds,
                                           std::string_view text) {
  placed.push_back({"text", &container, bounds, std::string(text), std::string(text)});
  return Keep<TextBox>(std::string(text));
}

platform::ComboList& FormBuilder::AddComboList(const platform::Frame& container, const platform::Bounds& bounds,
                                               std::string_view name) {
  placed.push_back({"combo", &container, bounds, {}, std::string(name)});
  return Keep<ComboList>();
}

platform::PictureBox& FormBuilder::AddPictureBox(const platform::Bounds& bounds, std::string_view toolTip,
                                                 std::string_view name) {
  placed.push_back({"picture", nullptr, bounds, std::string(toolTip), std::string(name)});
  return Keep<PictureBox>();
}

platform::Timer& FormBuilder::AddTimer(int interval, bool enabled, platform::TimerUse use) {
  return Keep<Timer>(clock, interval, enabled, use);
}

void InputDevice::Record(std::string call) {
  if (state_.failure != 0) throw platform::InputError(state_.failure, "fake device failed");
  state_.calls.push_back(std::move(call));
}

bool InputDevice::ReadCursor(std::string& x, std::string& y) {
  if (!x.empty() || !y.empty()) state_.calls.emplace_back("read into non-empty");
  Record("read");
  if (!state_.cursorUnreadable.empty()) throw platform::PointerUnreadable(0, state_.cursorUnreadable);
  if (!state_.cursorKnown) return false;
  x = state_.cursorX;
  y = state_.cursorY;
  return true;
}

void InputDevice::MoveCursor(std::int32_t x, std::int32_t y) {
  if (state_.moveFails) throw platform::InputError(1, "fake device cannot place the point");
  Record("move " + std::to_string(x) + "," + std::to_string(y));
}

void Services::MsgBox(std::string_view prompt, std::string_view title) {
  const Message shown{std::string(prompt), std::string(title)};
  messages.push_back(shown);
  if (whileMessageOpen) whileMessageOpen(shown);
}

std::unique_ptr<platform::InputDevice> Services::OpenInput() {
  if (openFailure != 0) throw platform::InputError(openFailure, "fake device cannot open");
  return std::make_unique<InputDevice>(input);
}

bool Keyboard::Pressed(platform::Hotkey key) {
  reads_.push_back(key);
  auto& queue = queued_[key];
  if (queue.empty()) return false;
  const bool pressed = queue.front();
  queue.pop_front();
  return pressed;
}

}  // namespace fake
