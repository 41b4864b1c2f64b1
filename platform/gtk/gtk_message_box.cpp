#include "platform/gtk/gtk_message_box.h"

#include <string>
#include <string_view>

namespace platform::gtk {

void RunMessageBox(GtkWindow* parent, std::string_view prompt, std::string_view title, bool error) {
  const std::string text(prompt);
  GtkWidget* box = gtk_message_dialog_new(parent, static_cast<GtkDialogFlags>(GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT),
                                          error ? GTK_MESSAGE_ERROR : GTK_MESSAGE_OTHER, GTK_BUTTONS_OK, "%s",
                                          text.c_str());
  const std::string caption(title);
  gtk_window_set_title(GTK_WINDOW(box), caption.c_str());
  // Where GTK draws the title bar itself (Wayland), screen readers would hear the box's type.
  atk_object_set_name(gtk_widget_get_accessible(box), caption.c_str());
  gtk_window_set_position(GTK_WINDOW(box), parent != nullptr ? GTK_WIN_POS_CENTER_ON_PARENT : GTK_WIN_POS_CENTER);
  gtk_window_set_resizable(GTK_WINDOW(box), FALSE);
  // A weak pointer: the box is gone already if its parent was destroyed while it was open.
  g_object_add_weak_pointer(G_OBJECT(box), reinterpret_cast<gpointer*>(&box));
  gtk_dialog_run(GTK_DIALOG(box));
  if (box != nullptr) {
    g_object_remove_weak_pointer(G_OBJECT(box), reinterpret_cast<gpointer*>(&box));
    gtk_widget_destroy(box);
  }
}

}  // namespace platform::gtk
