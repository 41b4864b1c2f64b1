#include "platform/gtk/gtk_grid_timer.h"

#include <sys/timerfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <stdexcept>
#include <string>

namespace platform::gtk {
namespace {

timespec Milliseconds(int ms) { return {ms / 1000, static_cast<long>(ms % 1000) * 1000000L}; }

timespec Add(timespec a, timespec b) {
  a.tv_sec += b.tv_sec;
  a.tv_nsec += b.tv_nsec;
  if (a.tv_nsec >= 1000000000L) {
    a.tv_nsec -= 1000000000L;
    ++a.tv_sec;
  }
  return a;
}

}  // namespace

GridTimer::GridTimer(EventSink& sink, int interval, bool enabled)
    : TimerState(interval, enabled), sink_(sink),
      fd_(timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC)) {
  if (!fd_.Valid()) throw std::runtime_error(std::string("timerfd_create: ") + std::strerror(errno));
  watch_ = WatchFd(fd_.Get(), &GridTimer::OnExpired, this, true);
  Restart();
}

// Arming (or disarming) resets the expiration count, so nothing from the old period is left.
void GridTimer::Restart() {
  asleep_ = false;
  if (!Running()) {
    const itimerspec off{};
    timerfd_settime(fd_.Get(), 0, &off, nullptr);
    return;
  }
  clock_gettime(CLOCK_MONOTONIC, &origin_);
  Arm(Add(origin_, Milliseconds(Interval())));
}

void GridTimer::Arm(timespec first) {
  itimerspec setting{};
  setting.it_interval = Milliseconds(Interval());
  setting.it_value = first;
  timerfd_settime(fd_.Get(), TFD_TIMER_ABSTIME, &setting, nullptr);
}

void GridTimer::Wake() {
  if (!asleep_ || !Running()) return;
  asleep_ = false;
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  const long long period = static_cast<long long>(Interval()) * 1000000LL;
  const long long since = (now.tv_sec - origin_.tv_sec) * 1000000000LL + (now.tv_nsec - origin_.tv_nsec);
  const long long next = (since / period + 1) * period;
  Arm(Add(origin_, {static_cast<time_t>(next / 1000000000LL), static_cast<long>(next % 1000000000LL)}));
}

gboolean GridTimer::OnExpired(gint fd, GIOCondition, gpointer data) {
  std::uint64_t expirations = 0;
  // Nothing to read: the timer was stopped or set again after the loop saw it ready.
  if (read(fd, &expirations, sizeof expirations) != sizeof expirations) return G_SOURCE_CONTINUE;
  auto* self = static_cast<GridTimer*>(data);
  if (!self->Running()) return G_SOURCE_CONTINUE;
  self->sink_.Raise(self->Tick);  // once, however many periods went by
  if (self->Running() && !self->asleep_ && self->idle_ && self->idle_()) {
    const itimerspec off{};
    timerfd_settime(self->fd_.Get(), 0, &off, nullptr);
    self->asleep_ = true;
  }
  return G_SOURCE_CONTINUE;
}

}  // namespace platform::gtk
