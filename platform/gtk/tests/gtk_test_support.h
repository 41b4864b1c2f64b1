// Small helpers the GTK backend's tests share: running the loop and focusing X windows.
#pragma once

#include <gdk/gdkx.h>
#include <gtk/gtk.h>

#include <functional>

namespace gtk_test {

// Runs the default main loop until `done` or `limitMs` have passed; returns done().
inline bool RunUntil(const std::function<bool()>& done, int limitMs) {
  const gint64 deadline = g_get_monotonic_time() + gint64{limitMs} * 1000;
  // A steady wake-up, so done() is looked at even when nothing else happens.
  const guint wake = g_timeout_add(5, [](gpointer) -> gboolean { return G_SOURCE_CONTINUE; }, nullptr);
  while (!done() && g_get_monotonic_time() < deadline) g_main_context_iteration(nullptr, TRUE);
  g_source_remove(wake);
  return done();
}

// Maps `window` if needed and gives it the X input focus (there is no window manager).
inline bool Activate(GtkWindow* window) {
  gtk_widget_show(GTK_WIDGET(window));
  if (!RunUntil([window] { return gtk_widget_get_mapped(GTK_WIDGET(window)) == TRUE; }, 2000)) return false;
  gdk_window_focus(gtk_widget_get_window(GTK_WIDGET(window)), GDK_CURRENT_TIME);
  return RunUntil([window] { return gtk_window_is_active(window) == TRUE; }, 2000);
}

}  // namespace gtk_test
