#include "platform/gtk/gtk_instance_lock.h"

#include <fcntl.h>
#include <glib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/gtk/gtk_program_files.h"

namespace platform::gtk {
namespace {

bool IsDirectory(const char* path) {
  struct stat info{};
  return path != nullptr && *path == '/' && stat(path, &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

// Never a folder others can write to: anyone could make the file there first and hold it.
std::string InstanceLock::LockPath() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (IsDirectory(runtime)) return std::string(runtime) + "/tapwing.lock";
  const std::string folder = UserFolder("XDG_CACHE_HOME", ".cache");
  g_mkdir_with_parents(folder.c_str(), 0700);
  return folder + "/tapwing.lock";
}

bool InstanceLock::HeldByAnother() {
  if (tried_) return another_;
  tried_ = true;
  const std::string path = LockPath();
  fd_ = UniqueFd(open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600));
  if (!fd_.Valid()) return another_ = false;
  struct stat info{};
  if (fstat(fd_.Get(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != geteuid()) {
    std::fprintf(stderr, "tapwing: 单实例锁 %s 不是本用户的普通文件, 不予理会\n", path.c_str());
    fd_.Reset();
    return another_ = false;
  }
  int result;
  do {
    result = flock(fd_.Get(), LOCK_EX | LOCK_NB);
  } while (result != 0 && errno == EINTR);
  another_ = result != 0 && errno == EWOULDBLOCK;
  return another_;
}

}  // namespace platform::gtk
