// Modal OK-only message boxes. gtk_dialog_run runs a nested main loop, so timers keep ticking
// while one is open, as in a Windows modal loop.
#pragma once

#include <gtk/gtk.h>

#include <string_view>

namespace platform::gtk {

// Returns once the box is dismissed. `error` adds the error icon (only the failure report has it).
void RunMessageBox(GtkWindow* parent, std::string_view prompt, std::string_view title, bool error = false);

}  // namespace platform::gtk
