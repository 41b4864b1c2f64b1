#include "platform/fake/fake_platform.h"

#include <stdexcept>

#include "platform/errors.h"
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

void Timer::SetInterval(int milliseconds) {
  interval_ = milliseconds;
  if (Running()) ++starts_;
}

void Timer::SetEnabled(bool enabled) {
  enabled_ = enabled;
  if (Running()) ++starts_;
}

bool Timer::Fire() {
  if (!Running()) return false;
  if (Tick) Tick();
  return true;
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
  auto& frame = Keep<Frame>();
  placed.push_back({"frame", nullptr, bounds, std::string(text)});
  return frame;
}

platform::TextBox& FormBuilder::AddTextBox(const platform::Frame& container, const platform::Bounds& bounds,
                                           std::string_view text) {
  auto& box = Keep<TextBox>(std::string(text));
  textBoxes_[&box] = &box;
  placed.push_back({"text", &container, bounds, std::string(text)});
  return box;
}

platform::ComboList& FormBuilder::AddComboList(const platform::Frame& container, const platform::Bounds& bounds) {
  placed.push_back({"combo", &container, bounds, {}});
  return Keep<ComboList>();
}

platform::PictureBox& FormBuilder::AddPictureBox(const platform::Bounds& bounds, std::string_view toolTip) {
  placed.push_back({"picture", nullptr, bounds, std::string(toolTip)});
  return Keep<PictureBox>();
}

platform::Timer& FormBuilder::AddTimer(int interval, bool enabled, platform::TimerUse use) {
  return Keep<Timer>(interval, enabled, use);
}

void FormBuilder::Focus(const void* control) {
  const auto text = textBoxes_.find(control);
  focus_.Enter(control, text == textBoxes_.end() ? nullptr : text->second);
}

void Services::MsgBox(std::string_view prompt, std::string_view title) {
  messages.push_back({std::string(prompt), std::string(title)});
  if (whileMessageOpen) whileMessageOpen(messages.back());
}

void Services::StartHidden(std::string_view program, std::string_view commandLine) {
  started.emplace_back(program, commandLine);
}

void* Services::CreateObject(const platform::Guid& classId, const platform::Guid& interfaceId) {
  if (!createObject) throw platform::ComError(static_cast<std::int32_t>(0x80040154));  // not registered
  return createObject(classId, interfaceId);
}

namespace {
Bindings* currentBindings = nullptr;
Keyboard* currentKeyboard = nullptr;
}  // namespace

Bindings::Bindings() {
  currentBindings = this;
  platform::SetResolver(&Bindings::Resolve);
}

Bindings::~Bindings() {
  currentBindings = nullptr;
  platform::SetResolver(nullptr);
}

void* Bindings::Resolve(const platform::Library& library, const char* entry) {
  if (currentBindings == nullptr) return nullptr;
  currentBindings->requests_.emplace_back(std::string(library.name) + "!" + entry, library.search);
  const auto found = currentBindings->table_.find({library.name, entry});
  return found == currentBindings->table_.end() ? nullptr : found->second;
}

Keyboard::Keyboard(Bindings& bindings) {
  currentKeyboard = this;
  bindings.Add("user32", "GetAsyncKeyState", &Keyboard::GetAsyncKeyState);
}

Keyboard::~Keyboard() { currentKeyboard = nullptr; }

std::int16_t TW_STDCALL Keyboard::GetAsyncKeyState(int virtualKey) {
  if (currentKeyboard == nullptr) return 0;
  currentKeyboard->queries_.push_back(virtualKey);
  auto& queue = currentKeyboard->states_[virtualKey];
  if (queue.empty()) return 0;
  const std::uint16_t state = queue.front();
  queue.pop_front();
  return static_cast<std::int16_t>(state);
}

}  // namespace fake
