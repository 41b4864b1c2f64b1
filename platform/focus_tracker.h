// Turns the system's focus notifications into the form's GotFocus / LostFocus events.
//
// Windows also moves the focus out of an edit when the whole window is deactivated and back in
// when it is reactivated. Those moves must not reach the handlers (a coordinate field empties
// itself on GotFocus), so only a change from one control of the form to another counts.
#pragma once

#include "platform/controls.h"

namespace platform {

class FocusTracker {
 public:
  // `control` of the form has just received the keyboard focus; `textBox` is the same control
  // when it is a text box, else null.
  void Enter(const void* control, TextBox* textBox);

 private:
  const void* current_ = nullptr;
  TextBox* currentText_ = nullptr;
};

}  // namespace platform
