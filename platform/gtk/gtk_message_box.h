// Modal OK-only message boxes. gtk_dialog_run runs a nested main loop, so timers keep ticking
// while one is open, as in a Windows modal loop.
// Implemented: title, prompt, OK only, no icon (the error icon for the failure report), modal
// and transient for the form. Not possible here: the window manager decides the title bar.
#pragma once

#include <gtk/gtk.h>

#include <string_view>

namespace platform::gtk {

// Returns once the box is dismissed. `error` adds the error icon (only the failure report has it).
void RunMessageBox(GtkWindow* parent, std::string_view prompt, std::string_view title, bool error = false);

}  // namespace platform::gtk
