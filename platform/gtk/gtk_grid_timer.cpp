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
    : sink_(sink), interval_(interval), enabled_(enabled),
      fd_(timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC)) {
  if (!fd_.Valid()) throw std::runtime_error(std::string("timerfd_create: ") + std::strerror(errno));
  watch_ = WatchFd(fd_.Get(), &GridTimer::OnExpired, this, true);
  Apply();
}

void GridTimer::SetInterval(int milliseconds) {
  interval_ = milliseconds;
  Apply();
}

void GridTimer::SetEnabled(bool enabled) {
  enabled_ = enabled;
  Apply();
}

// Arming (or disarming) resets the expiration count, so nothing from the old period is left.
void GridTimer::Apply() {
  itimerspec setting{};
  if (Running()) {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    setting.it_interval = Milliseconds(interval_);
    setting.it_value = Add(now, setting.it_interval);
  }
  timerfd_settime(fd_.Get(), Running() ? TFD_TIMER_ABSTIME : 0, &setting, nullptr);
}

gboolean GridTimer::OnExpired(gint fd, GIOCondition, gpointer data) {
  std::uint64_t expirations = 0;
  // Nothing to read: the timer was stopped or set again after the loop saw it ready.
  if (read(fd, &expirations, sizeof expirations) != sizeof expirations) return G_SOURCE_CONTINUE;
  auto* self = static_cast<GridTimer*>(data);
  if (self->Running()) self->sink_.Raise(self->Tick);  // once, however many periods went by
  return G_SOURCE_CONTINUE;
}

}  // namespace platform::gtk
