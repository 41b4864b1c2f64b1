// The reference clickers' clock: a timerfd on an absolute CLOCK_MONOTONIC grid, first tick one
// period from now, as tapwing's run timer keeps it.
#pragma once

#include <sys/timerfd.h>
#include <time.h>

// The armed timerfd, or -1 (errno says why).
inline int OpenTimerGrid(long period_ms) {
  const int fd = timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC);
  if (fd < 0) return -1;
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  itimerspec setting{};
  setting.it_interval.tv_sec = period_ms / 1000;
  setting.it_interval.tv_nsec = (period_ms % 1000) * 1000000L;
  setting.it_value = now;
  setting.it_value.tv_nsec += setting.it_interval.tv_nsec;
  setting.it_value.tv_sec += setting.it_interval.tv_sec + setting.it_value.tv_nsec / 1000000000L;
  setting.it_value.tv_nsec %= 1000000000L;
  return timerfd_settime(fd, TFD_TIMER_ABSTIME, &setting, nullptr) == 0 ? fd : -1;
}
