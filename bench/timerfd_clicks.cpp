// timerfd_clicks COUNT PERIOD_MS [X Y]: the benchmark's reference clicker. A bare timerfd on a
// fixed CLOCK_MONOTONIC grid (absolute deadlines) that moves the pointer to (X, Y) and clicks
// the left button through XTest once per tick, COUNT times, with an XSync after each tick:
// the same work Tapwing does per tick, without anything else around it. A tick that comes
// later than a whole period fires once, not once per missed deadline. Without X and Y it
// only wakes up on each tick: what a 10 ms wake-up alone costs this machine, the floor under
// any program's idle 10 ms poll.

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "timer_grid.h"

int main(int argc, char** argv) {
  if (argc != 3 && argc != 5) {
    std::fprintf(stderr, "usage: timerfd_clicks COUNT PERIOD_MS [X Y]\n");
    return 2;
  }
  const long count = std::atol(argv[1]);
  const long period_ms = std::atol(argv[2]);
  const bool click = argc == 5;
  const int x = click ? std::atoi(argv[3]) : 0;
  const int y = click ? std::atoi(argv[4]) : 0;
  if (count <= 0 || period_ms <= 0) {
    std::fprintf(stderr, "timerfd_clicks: COUNT and PERIOD_MS must be positive\n");
    return 2;
  }
  Display* dpy = click ? XOpenDisplay(nullptr) : nullptr;
  if (click && !dpy) {
    std::fprintf(stderr, "timerfd_clicks: cannot open display %s\n", XDisplayName(nullptr));
    return 3;
  }
  int ev, err, major, minor;
  if (click && !XTestQueryExtension(dpy, &ev, &err, &major, &minor)) {
    std::fprintf(stderr, "timerfd_clicks: the X server has no XTEST extension\n");
    return 3;
  }
  const int fd = OpenTimerGrid(period_ms);
  if (fd < 0) {
    std::perror("timerfd");
    return 4;
  }
  const int screen = click ? DefaultScreen(dpy) : 0;
  for (long done = 0; done < count; ++done) {
    uint64_t expirations = 0;
    if (read(fd, &expirations, sizeof expirations) != sizeof expirations) {
      std::perror("read timerfd");
      return 5;
    }
    if (!click) continue;
    XTestFakeMotionEvent(dpy, screen, x, y, CurrentTime);
    XTestFakeButtonEvent(dpy, Button1, True, CurrentTime);
    XTestFakeButtonEvent(dpy, Button1, False, CurrentTime);
    XSync(dpy, False);
  }
  close(fd);
  if (dpy) XCloseDisplay(dpy);
  return 0;
}
