// The system services of the Win32 backend.
//
// Implemented: OK-only message boxes owned by the form, one copy per user session (a named
// mutex), the program folder, in-process registration of korva.dll, the skin library, the input
// component through COM, the user's decimal separator.
// Not possible here: nothing of the interface is missing on Windows.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include <windows.h>

#include "platform/services.h"
#include "platform/win32/win32_process.h"

namespace platform::win32 {

class FormWindow;

class Win32Services : public Services {
 public:
  // Message boxes belong to `form` once its window exists.
  explicit Win32Services(const FormWindow& form) : form_(form) {}

  void MsgBox(std::string_view prompt, std::string_view title) override;
  bool PrevInstance() override;
  void End() override;
  std::string DecimalSeparator() override;
  std::string ProgramFile(std::string_view name) override;
  void RegisterComponent(std::string_view file) override;
  void AttachSkin(std::string_view skinFile) override;
  std::unique_ptr<InputDevice> OpenInput() override;

  bool Ended() const { return ended_; }

 private:
  const FormWindow& form_;
  UniqueHandle instanceMutex_;
  bool prevInstance_ = false;
  bool ended_ = false;
};

}  // namespace platform::win32
