#include "platform/focus_tracker.h"

namespace platform {

void FocusTracker::Enter(const void* control, TextBox* textBox) {
  if (control == current_) return;  // back from another window: nothing moved inside the form
  TextBox* left = currentText_;
  current_ = control;
  currentText_ = textBox;
  // The handlers may move the focus again; the state above is already consistent for that.
  if (left != nullptr && left->LostFocus) left->LostFocus();
  if (textBox != nullptr && textBox->GotFocus) textBox->GotFocus();
}

}  // namespace platform
