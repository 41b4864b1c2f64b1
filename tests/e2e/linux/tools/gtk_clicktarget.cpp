// gtk_clicktarget LOGFILE [--maximize]: the click target of the Wayland sessions, a native GTK 3
// Wayland client with one window per monitor, logging in x11_clicktarget's format:
//   <CLOCK_MONOTONIC in microseconds> <event> <x> <y>
// with x, y in desktop logical coordinates (the monitor's logical origin plus the
// surface-local position): Wayland gives a client no global positions, but GDK knows where
// each output lies. Comment lines, which the harness's click reader skips:
//   "# ready pid=<n> windows=<n>"  once every window covers its monitor
//   "# double <x> <y>"             GTK's double-click event (the two presses are logged too)
//   "# key <name>"                 a key press while a target window has the keyboard focus
// The latest pointer position goes to LOGFILE.pointer ("x y"), replaced whole at each motion,
// because a Wayland test has no other way to ask where the pointer is.
//
// Fullscreen per monitor by default (KWin keeps it below through a window rule); --maximize
// makes one maximized window instead, for mutter, which lifts a focused fullscreen window
// above every other one.

#include <gtk/gtk.h>

#include <fcntl.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

namespace {

int g_log_fd = -1;
std::string g_pointer_path;
int g_unmapped = 0;  // windows not yet covering their monitor
int g_windows = 0;
guint32 g_discrete_time = 0;  // a wheel notch arrives as a discrete and a smooth event

long long MonotonicMicros() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return now.tv_sec * 1000000LL + now.tv_nsec / 1000;
}

// One write per line: a reader never sees half a line from us.
void WriteLine(const char* text) {
  size_t left = std::strlen(text);
  while (left > 0) {
    ssize_t done = write(g_log_fd, text, left);
    if (done <= 0) return;
    text += done;
    left -= static_cast<size_t>(done);
  }
}

void Global(GtkWidget* w, double ex, double ey, int* x, int* y) {
  GdkRectangle geo{};
  GdkWindow* win = gtk_widget_get_window(w);
  gdk_monitor_get_geometry(gdk_display_get_monitor_at_window(gdk_window_get_display(win), win), &geo);
  *x = geo.x + static_cast<int>(std::floor(ex));
  *y = geo.y + static_cast<int>(std::floor(ey));
}

void Log(const char* event, GtkWidget* w, double ex, double ey) {
  int x = 0, y = 0;
  Global(w, ex, ey, &x, &y);
  char line[128];
  std::snprintf(line, sizeof line, "%lld %s %d %d\n", MonotonicMicros(), event, x, y);
  WriteLine(line);
}

const char* ButtonName(guint button, bool down) {
  switch (button) {
    case 1: return down ? "ldown" : "lup";
    case 2: return down ? "mdown" : "mup";
    case 3: return down ? "rdown" : "rup";
    default: return nullptr;
  }
}

gboolean OnButton(GtkWidget* w, GdkEventButton* e, gpointer) {
  if (e->type == GDK_2BUTTON_PRESS) {
    int x = 0, y = 0;
    Global(w, e->x, e->y, &x, &y);
    char line[64];
    std::snprintf(line, sizeof line, "# double %d %d\n", x, y);
    WriteLine(line);
  } else if (e->type == GDK_BUTTON_PRESS || e->type == GDK_BUTTON_RELEASE) {
    if (const char* name = ButtonName(e->button, e->type == GDK_BUTTON_PRESS)) Log(name, w, e->x, e->y);
  }
  return TRUE;
}

gboolean OnScroll(GtkWidget* w, GdkEventScroll* e, gpointer) {
  double dx = 0, dy = 0;
  if (e->direction == GDK_SCROLL_UP || e->direction == GDK_SCROLL_DOWN) {
    g_discrete_time = e->time;
    Log(e->direction == GDK_SCROLL_UP ? "wheel+120" : "wheel-120", w, e->x, e->y);
  } else if (e->direction == GDK_SCROLL_SMOOTH && e->time != g_discrete_time &&
             gdk_event_get_scroll_deltas(reinterpret_cast<GdkEvent*>(e), &dx, &dy) && dy != 0) {
    // Some senders give only smooth steps (KWin's portal: a tenth per notch); one line each.
    Log(dy < 0 ? "wheel+120" : "wheel-120", w, e->x, e->y);
  }
  return TRUE;
}

void WritePointer(GtkWidget* w, double ex, double ey) {
  int x = 0, y = 0;
  Global(w, ex, ey, &x, &y);
  char text[64];
  const int n = std::snprintf(text, sizeof text, "%d %d\n", x, y);
  const std::string tmp = g_pointer_path + ".new";
  const int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd >= 0) {
    const bool whole = write(fd, text, static_cast<size_t>(n)) == n;
    close(fd);
    if (whole) rename(tmp.c_str(), g_pointer_path.c_str());
  }
}

gboolean OnMotion(GtkWidget* w, GdkEventMotion* e, gpointer) {
  WritePointer(w, e->x, e->y);
  return FALSE;
}

// sway reports a pointer put onto another output by its entering there, with no motion.
gboolean OnEnter(GtkWidget* w, GdkEventCrossing* e, gpointer) {
  WritePointer(w, e->x, e->y);
  return FALSE;
}

gboolean OnKey(GtkWidget*, GdkEventKey* e, gpointer) {
  char line[96];
  std::snprintf(line, sizeof line, "# key %s\n", gdk_keyval_name(e->keyval));
  WriteLine(line);
  return TRUE;
}

// Ready once every window is full-screen or maximized: before that its surface is not at the
// monitor's origin (GTK's shadow margins, the compositor's placement), and positions are off.
gboolean OnState(GtkWidget* w, GdkEventWindowState* e, gpointer) {
  const auto covering = GDK_WINDOW_STATE_FULLSCREEN | GDK_WINDOW_STATE_MAXIMIZED;
  if ((e->new_window_state & covering) && !g_object_get_data(G_OBJECT(w), "covering")) {
    g_object_set_data(G_OBJECT(w), "covering", w);
    if (--g_unmapped == 0) {
      char line[64];
      std::snprintf(line, sizeof line, "# ready pid=%ld windows=%d\n", static_cast<long>(getpid()), g_windows);
      WriteLine(line);
    }
  }
  return FALSE;
}

void AddWindow(GdkDisplay* display, int index, bool maximize) {
  GtkWidget* w = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_title(GTK_WINDOW(w), "Tapwing click target");
  gtk_window_set_decorated(GTK_WINDOW(w), FALSE);
  gtk_widget_add_events(w, GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK | GDK_SCROLL_MASK |
                               GDK_SMOOTH_SCROLL_MASK | GDK_POINTER_MOTION_MASK | GDK_KEY_PRESS_MASK |
                               GDK_ENTER_NOTIFY_MASK);
  GtkCssProvider* css = gtk_css_provider_new();  // the other click targets' colour
  gtk_css_provider_load_from_data(css, "window { background: #78542e; }", -1, nullptr);
  gtk_style_context_add_provider(gtk_widget_get_style_context(w), GTK_STYLE_PROVIDER(css),
                                 GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
  g_object_unref(css);
  g_signal_connect(w, "button-press-event", G_CALLBACK(OnButton), nullptr);
  g_signal_connect(w, "button-release-event", G_CALLBACK(OnButton), nullptr);
  g_signal_connect(w, "scroll-event", G_CALLBACK(OnScroll), nullptr);
  g_signal_connect(w, "motion-notify-event", G_CALLBACK(OnMotion), nullptr);
  g_signal_connect(w, "enter-notify-event", G_CALLBACK(OnEnter), nullptr);
  g_signal_connect(w, "key-press-event", G_CALLBACK(OnKey), nullptr);
  g_signal_connect(w, "window-state-event", G_CALLBACK(OnState), nullptr);
  g_signal_connect(w, "destroy", G_CALLBACK(gtk_main_quit), nullptr);
  GdkRectangle geo{};
  gdk_monitor_get_geometry(gdk_display_get_monitor(display, index), &geo);
  gtk_window_set_default_size(GTK_WINDOW(w), geo.width, geo.height);
  if (maximize) {
    gtk_window_maximize(GTK_WINDOW(w));
  } else {
    gtk_window_fullscreen_on_monitor(GTK_WINDOW(w), gdk_screen_get_default(), index);
  }
  ++g_unmapped;
  ++g_windows;
  gtk_widget_show(w);
}

}  // namespace

int main(int argc, char** argv) {
  gtk_init(&argc, &argv);
  if (argc < 2 || argc > 3 || (argc == 3 && std::strcmp(argv[2], "--maximize") != 0)) {
    std::fprintf(stderr, "usage: gtk_clicktarget LOGFILE [--maximize]\n");
    return 2;
  }
  g_log_fd = open(argv[1], O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (g_log_fd < 0) {
    std::perror(argv[1]);
    return 3;
  }
  g_pointer_path = std::string(argv[1]) + ".pointer";
  GdkDisplay* display = gdk_display_get_default();
  const bool maximize = argc == 3;
  const int monitors = maximize ? 1 : gdk_display_get_n_monitors(display);
  for (int i = 0; i < monitors; ++i) AddWindow(display, i, maximize);
  gtk_main();
}
