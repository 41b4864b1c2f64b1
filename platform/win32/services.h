// The system services of the Win32 backend.
#pragma once

#include <windows.h>

#include "platform/services.h"

namespace platform::win32 {

class Services : public platform::Services {
 public:
  // Message boxes belong to `owner` once it exists.
  explicit Services(const HWND& owner) : owner_(owner) {}
  ~Services() override;

  void MsgBox(std::string_view prompt, std::string_view title) override;
  bool PrevInstance() override;
  void End() override;
  std::string AppPath() override;
  void StartHidden(std::string_view program, std::string_view commandLine) override;
  std::string DecimalSeparator() override;
  void* CreateObject(const Guid& classId, const Guid& interfaceId) override;

  bool Ended() const { return ended_; }

 private:
  const HWND& owner_;
  HANDLE instanceMutex_ = nullptr;
  bool prevInstance_ = false;
  bool ended_ = false;
};

}  // namespace platform::win32
