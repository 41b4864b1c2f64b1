// What the window's logic asks of the system beyond its own controls and the keyboard.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/input_device.h"

namespace platform {

class Services {
 public:
  virtual ~Services() = default;

  // A modal box with an OK button only and no icon; returns once it is dismissed. The window's
  // timers keep ticking while it is open.
  virtual void MsgBox(std::string_view prompt, std::string_view title) = 0;

  // Another copy of this program already runs in the user's session.
  virtual bool PrevInstance() = 0;
  // Ends the program once the current handler returns; the window is never shown if it was not yet.
  virtual void End() = 0;

  // The user's decimal separator, as the locale sets it.
  virtual std::string DecimalSeparator() = 0;

  // A file that ships with the program, by its name ("Tapwing.PNG"), as a full path.
  virtual std::string ProgramFile(std::string_view name) = 0;

  // Start-up chores. Both are silent: a failure shows itself later or not at all.
  // Makes the input component in `file` known to the system, where the system needs that.
  virtual void RegisterComponent(std::string_view file) = 0;
  // Restyles the program's windows with the skin file. Without a skin the system's look stays.
  virtual void AttachSkin(std::string_view skinFile) = 0;

  // Opens the input device; throws InputError when it cannot.
  virtual std::unique_ptr<InputDevice> OpenInput() = 0;

  // Whether the input device may be used now. Where the desktop must ask the user first (a
  // portal's permission dialog), a false answer has started asking, or asking goes on; the
  // answer then comes later, through InputLost when it is no. Elsewhere it is always true.
  virtual bool InputAllowed() { return true; }

  // The device became unusable on its own: permission refused, or the desktop ended it. Raised
  // on the window's thread, never from inside a device call.
  std::function<void(const InputError&)> InputLost;
};

}  // namespace platform
