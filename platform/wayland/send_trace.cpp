#include "platform/wayland/send_trace.h"

#include <fcntl.h>
#include <glib.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>

namespace platform::wayland {

void TracePressSent() {
  static const int fd = [] {
    const char* file = g_getenv("TAPWING_TRACE_SENDS");
    return file != nullptr ? open(file, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644) : -1;
  }();
  if (fd < 0) return;
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  char line[32];
  const int n = std::snprintf(line, sizeof line, "%lld\n", now.tv_sec * 1000000LL + now.tv_nsec / 1000);
  if (write(fd, line, static_cast<size_t>(n)) != n) return;
}

}  // namespace platform::wayland
