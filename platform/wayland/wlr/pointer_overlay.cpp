#include "platform/wayland/wlr/pointer_overlay.h"

#include <gtk-layer-shell/gtk-layer-shell.h>

#include <cmath>
#include <optional>
#include <utility>

namespace platform::wayland {

PointerOverlay::PointerOverlay(VirtualPointer& pointer) : pointer_(pointer) {}

PointerOverlay::~PointerOverlay() { Hide(); }

bool PointerOverlay::Supported() { return gtk_layer_is_supported(); }

void PointerOverlay::Look() {
  if (!windows_.empty()) return;
  GdkDisplay* display = gdk_display_get_default();
  for (int i = 0; display != nullptr && i < gdk_display_get_n_monitors(display); ++i) {
    GdkMonitor* monitor = gdk_display_get_monitor(display, i);
    GtkWindow* window = GTK_WINDOW(gtk_window_new(GTK_WINDOW_TOPLEVEL));
    gtk_layer_init_for_window(window);
    gtk_layer_set_namespace(window, "tapwing-pointer");
    gtk_layer_set_layer(window, GTK_LAYER_SHELL_LAYER_OVERLAY);
    gtk_layer_set_monitor(window, monitor);
    for (GtkLayerShellEdge edge : {GTK_LAYER_SHELL_EDGE_LEFT, GTK_LAYER_SHELL_EDGE_RIGHT, GTK_LAYER_SHELL_EDGE_TOP,
                                   GTK_LAYER_SHELL_EDGE_BOTTOM})
      gtk_layer_set_anchor(window, edge, TRUE);
    gtk_layer_set_exclusive_zone(window, -1);  // over panels too
    gtk_layer_set_keyboard_mode(window, GTK_LAYER_SHELL_KEYBOARD_MODE_NONE);
    // Fully transparent: an RGBA visual, painted clear.
    if (GdkVisual* rgba = gdk_screen_get_rgba_visual(gtk_window_get_screen(window)))
      gtk_widget_set_visual(GTK_WIDGET(window), rgba);
    gtk_widget_set_app_paintable(GTK_WIDGET(window), TRUE);
    gtk_widget_add_events(GTK_WIDGET(window), GDK_ENTER_NOTIFY_MASK);
    g_object_set_data(G_OBJECT(window), "tapwing-monitor", monitor);
    g_signal_connect(window, "draw", G_CALLBACK(&PointerOverlay::OnDraw), nullptr);
    g_signal_connect(window, "enter-notify-event", G_CALLBACK(&PointerOverlay::OnEnter), this);
    gtk_widget_show(GTK_WIDGET(window));
    // Realized now: GDK's own after-paint handler, which commits the frame, runs before ours.
    g_signal_connect(gdk_window_get_frame_clock(gtk_widget_get_window(GTK_WIDGET(window))), "after-paint",
                     G_CALLBACK(&PointerOverlay::OnPainted), this);
    windows_.push_back(GTK_WIDGET(window));
  }
  if (!windows_.empty()) timeout_ = g_timeout_add(1000, &PointerOverlay::OnTimeout, this);
}

std::optional<std::pair<int, int>> PointerOverlay::Take() {
  auto answer = answer_;
  answer_.reset();
  return answer;
}

gboolean PointerOverlay::OnEnter(GtkWidget* window, GdkEventCrossing* event, gpointer data) {
  auto* self = static_cast<PointerOverlay*>(data);
  GdkRectangle geometry;
  gdk_monitor_get_geometry(static_cast<GdkMonitor*>(g_object_get_data(G_OBJECT(window), "tapwing-monitor")), &geometry);
  self->answer_ = std::make_pair(geometry.x + static_cast<int>(std::floor(event->x)),
                                 geometry.y + static_cast<int>(std::floor(event->y)));
  self->Hide();
  return TRUE;
}

// sway 1.10 looks for the surface under a still pointer when a surface maps, but before that
// surface's buffer is in its scene: the last overlay to map never gets the enter, so the pointer
// over it goes unseen until something moves it. Once a frame is committed (GDK commits in its
// own after-paint handler, which runs before this one), a motion of nothing makes it look again.
void PointerOverlay::OnPainted(GdkFrameClock*, gpointer data) {
  static_cast<PointerOverlay*>(data)->pointer_.Nudge();
}

gboolean PointerOverlay::OnDraw(GtkWidget*, cairo_t* cr, gpointer) {
  cairo_set_source_rgba(cr, 0, 0, 0, 0);
  cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
  cairo_paint(cr);
  return TRUE;
}

gboolean PointerOverlay::OnTimeout(gpointer data) {
  auto* self = static_cast<PointerOverlay*>(data);
  self->timeout_ = 0;
  self->Hide();
  return G_SOURCE_REMOVE;
}

void PointerOverlay::Hide() {
  if (timeout_ != 0) g_source_remove(timeout_);
  timeout_ = 0;
  for (GtkWidget* window : windows_) gtk_widget_destroy(window);
  windows_.clear();
}

}  // namespace platform::wayland
