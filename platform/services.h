// What the window's logic asks of the system beyond its own controls.
#pragma once

#include <string>
#include <string_view>

#include "platform/guid.h"

namespace platform {

class Services {
 public:
  virtual ~Services() = default;

  // A modal box with an OK button only and no icon; returns once it is dismissed.
  virtual void MsgBox(std::string_view prompt, std::string_view title) = 0;

  // Another copy of this program already runs in the user's session.
  virtual bool PrevInstance() = 0;
  // Ends the program once the current handler returns; the window is never shown if it was not yet.
  virtual void End() = 0;

  // The program's folder, without a trailing separator except at a drive root.
  virtual std::string AppPath() = 0;

  // Starts `program` from the system directory with `commandLine`, hidden; does not wait.
  virtual void StartHidden(std::string_view program, std::string_view commandLine) = 0;

  // The user's decimal separator, as the locale sets it.
  virtual std::string DecimalSeparator() = 0;

  // Creates an in-process COM object; returns the interface pointer (one reference) or throws
  // ComError.
  virtual void* CreateObject(const Guid& classId, const Guid& interfaceId) = 0;
};

}  // namespace platform
