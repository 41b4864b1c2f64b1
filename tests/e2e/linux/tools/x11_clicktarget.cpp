// x11_clicktarget LOGFILE: a screen-sized X window under everything that logs the button and
// wheel events it receives, one line each, appended and written at once:
//   <CLOCK_MONOTONIC in microseconds> <event> <root x> <root y>
// with event one of ldown lup rdown rup mdown mup wheel+120 wheel-120 (buttons 4 and 5 are
// the wheel; their releases carry nothing and are not logged). The first line is
// "# ready xid=<n> pid=<n>", written once the window is mapped.
//
// The same format as the Wine click target, so the harness reads both alike. X has no double
// click event: a double click is ldown lup ldown lup close together. The window never asks
// for the keyboard focus (input hint off) and is lowered below every other window; a test
// may still give it the focus explicitly with XSetInputFocus.

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <ctime>

namespace {

long long MonotonicMicros() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return now.tv_sec * 1000000LL + now.tv_nsec / 1000;
}

// One write per line: a reader never sees half a line from us, and nothing sits in a buffer.
void WriteLine(int fd, const char* text) {
  size_t left = std::strlen(text);
  while (left > 0) {
    ssize_t done = write(fd, text, left);
    if (done <= 0) return;
    text += done;
    left -= static_cast<size_t>(done);
  }
}

const char* EventName(const XButtonEvent& e) {
  const bool down = e.type == ButtonPress;
  switch (e.button) {
    case Button1: return down ? "ldown" : "lup";
    case Button2: return down ? "mdown" : "mup";
    case Button3: return down ? "rdown" : "rup";
    case Button4: return down ? "wheel+120" : nullptr;
    case Button5: return down ? "wheel-120" : nullptr;
    default: return nullptr;  // horizontal scrolling and extra buttons: nothing asks for them
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: x11_clicktarget LOGFILE\n");
    return 2;
  }
  const int log = open(argv[1], O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (log < 0) {
    std::perror(argv[1]);
    return 3;
  }
  Display* dpy = XOpenDisplay(nullptr);
  if (!dpy) {
    std::fprintf(stderr, "x11_clicktarget: cannot open display %s\n", XDisplayName(nullptr));
    return 4;
  }
  const int screen = DefaultScreen(dpy);
  const Window root = RootWindow(dpy, screen);

  XSetWindowAttributes attrs{};
  attrs.background_pixel = 0x2e5478;  // the Wine target's colour, easy to tell on screenshots
  attrs.event_mask = ButtonPressMask | ButtonReleaseMask | StructureNotifyMask;
  const Window w = XCreateWindow(dpy, root, 0, 0, DisplayWidth(dpy, screen),
                                 DisplayHeight(dpy, screen), 0, CopyFromParent, InputOutput,
                                 CopyFromParent, CWBackPixel | CWEventMask, &attrs);
  XStoreName(dpy, w, "Tapwing click target");

  XWMHints hints{};
  hints.flags = InputHint;
  hints.input = False;
  XSetWMHints(dpy, w, &hints);
  // Where a window manager runs, this keeps the window at the bottom and out of focus cycles.
  Atom type = XInternAtom(dpy, "_NET_WM_WINDOW_TYPE", False);
  Atom desktop = XInternAtom(dpy, "_NET_WM_WINDOW_TYPE_DESKTOP", False);
  XChangeProperty(dpy, w, type, XA_ATOM, 32, PropModeReplace,
                  reinterpret_cast<unsigned char*>(&desktop), 1);

  XMapWindow(dpy, w);
  XLowerWindow(dpy, w);

  XEvent ev;
  for (;;) {
    XNextEvent(dpy, &ev);
    if (ev.type == MapNotify && ev.xmap.window == w) break;
  }
  char line[128];
  std::snprintf(line, sizeof line, "# ready xid=%lu pid=%ld\n", w, static_cast<long>(getpid()));
  WriteLine(log, line);

  for (;;) {
    XNextEvent(dpy, &ev);
    if (ev.type != ButtonPress && ev.type != ButtonRelease) continue;
    const long long us = MonotonicMicros();
    const char* name = EventName(ev.xbutton);
    if (!name) continue;
    std::snprintf(line, sizeof line, "%lld %s %d %d\n", us, name, ev.xbutton.x_root,
                  ev.xbutton.y_root);
    WriteLine(log, line);
  }
}
