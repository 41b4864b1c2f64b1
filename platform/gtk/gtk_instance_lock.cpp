#include "platform/gtk/gtk_instance_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace platform::gtk {

std::string InstanceLock::LockPath() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  struct stat info{};
  if (runtime != nullptr && *runtime == '/' && stat(runtime, &info) == 0 && S_ISDIR(info.st_mode))
    return std::string(runtime) + "/tapwing.lock";
  return "/tmp/tapwing-" + std::to_string(getuid()) + ".lock";
}

bool InstanceLock::HeldByAnother() {
  if (tried_) return another_;
  tried_ = true;
  fd_ = UniqueFd(open(LockPath().c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
  if (!fd_.Valid()) return another_ = false;
  int result;
  do {
    result = flock(fd_.Get(), LOCK_EX | LOCK_NB);
  } while (result != 0 && errno == EINTR);
  another_ = result != 0 && errno == EWOULDBLOCK;
  return another_;
}

}  // namespace platform::gtk
