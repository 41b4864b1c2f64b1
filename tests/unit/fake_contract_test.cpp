// The backend contract, on the fake backend and its virtual clock.
#include <functional>
#include <optional>

#include "backend_contract.h"
#include "platform/fake/fake_platform.h"

namespace {

class FakeBackend {
 public:
  FakeBackend() {
    ui_.SetForm("Tapwing", 3510, 1740);
    // The modal loop: the clock runs until the box is answered.
    system_.whileMessageOpen = [this](const fake::Message& message) {
      open_ = message;
      RunUntil([this] { return !open_; }, 60000);
    };
  }

  platform::FormBuilder& Ui() { return ui_; }
  platform::Services& System() { return system_; }

  void RunUntil(const std::function<bool()>& done, int limitMs) {
    const long long end = ui_.clock.Now() + limitMs;
    while (!done() && ui_.clock.Now() < end) ui_.clock.AdvanceTo(ui_.clock.Now() + 1);
  }
  void Stall(int ms) { ui_.clock.Stall(ms); }
  void Focus(platform::TextBox& box) {
    focus_ = [this, &box] { ui_.Focus(box); };
    focus_();
  }
  void Focus(platform::ComboList& list) {
    focus_ = [this, &list] { ui_.Focus(&list); };
    focus_();
  }
  // Another application takes the activation and gives it back: the focus returns where it was.
  void LeaveAndReturn() { focus_(); }

  std::optional<MessageBoxView> OpenMessageBox() {
    if (!open_) return std::nullopt;
    return MessageBoxView{open_->title, open_->prompt, true, false, {"OK"}};
  }
  void DismissMessageBox() { open_.reset(); }

 private:
  fake::FormBuilder ui_;
  fake::Services system_;
  std::optional<fake::Message> open_;
  std::function<void()> focus_ = [] {};
};

}  // namespace

INSTANTIATE_TYPED_TEST_SUITE_P(Fake, BackendContract, FakeBackend);
