// One Tapwing per user session: an exclusive flock on a file in $XDG_RUNTIME_DIR (without one,
// in the user's cache folder), held for the program's life. A file there that is not the user's
// own regular file is said on stderr and ignored: it cannot stop Tapwing from starting. The kernel drops it when the process
// ends, however it ends, so a crash never leaves a stale lock behind.
// Implemented: one per user. Not possible here: two sessions of one user on one machine share
// $XDG_RUNTIME_DIR, so they share the one instance too.
#pragma once

#include <string>

#include "platform/gtk/gtk_handles.h"

namespace platform::gtk {

class InstanceLock {
 public:
  // Tries once, at the first call; the answer stays the same afterwards. A lock file that cannot
  // be made at all, or cannot be trusted, lets the program run.
  bool HeldByAnother();
  static std::string LockPath();

 private:
  bool tried_ = false;
  bool another_ = false;
  UniqueFd fd_;
};

}  // namespace platform::gtk
