// Tapwing's entry point on Linux: GTK on X11, the form window, Form1 and the GLib loop, which is
// the program's only loop.
#include <gtk/gtk.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "platform/gtk/gtk_form_window.h"
#include "platform/gtk/gtk_grid_timer.h"
#include "platform/gtk/gtk_message_box.h"
#include "platform/gtk/gtk_services.h"
#include "platform/gtk/x11_hotkeys.h"
#include "window/form1.h"

namespace {

// The hotkeys and the clicks need X11 itself; a Wayland session serves them only via XWayland.
int NoDisplay() {
  const char* display = std::getenv("DISPLAY");
  const std::string which = display == nullptr || *display == '\0' ? std::string("DISPLAY 未设置")
                                                                   : "DISPLAY=" + std::string(display);
  std::fprintf(stderr,
               "tapwing: 无法连接 X 显示服务器 (%s): Tapwing needs an X11 display; under Wayland it needs XWayland\n",
               which.c_str());
  return 1;
}

void SetWindowIcons() {
  GList* icons = nullptr;
  for (const char* size : {"16", "32", "48", "256"}) {
    const std::string path = std::string("/org/tapwing/icons/tapwing-") + size + ".png";
    if (GdkPixbuf* icon = gdk_pixbuf_new_from_resource(path.c_str(), nullptr)) icons = g_list_append(icons, icon);
  }
  gtk_window_set_default_icon_list(icons);
  g_list_free_full(icons, g_object_unref);
}

}  // namespace

int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "");
  g_set_prgname("org.tapwing.Tapwing");  // the desktop entry's name: WM_CLASS and app_id match it
  gdk_set_allowed_backends("x11");
  if (!gtk_init_check(&argc, &argv)) return NoDisplay();
  SetWindowIcons();

  platform::gtk::FormWindow window;
  platform::gtk::Services system(window);
  platform::gtk::X11Hotkeys keyboard;
  try {
    Form1 form(window, system, keyboard);
    keyboard.Hear(GTK_WIDGET(window.Window()));
    // The poll's ticks only read the hotkeys: at rest it sleeps, and a press wakes it on its
    // own 10 ms grid, so a press is still read at the tick it would have been.
    auto& poll = dynamic_cast<platform::gtk::GridTimer&>(form.Timer1);
    poll.SleepWhile([&keyboard] { return !keyboard.Pending(); });
    keyboard.OnPress([&poll] { poll.Wake(); });
    form.Form_Load();
    if (system.Ended()) return 0;
    window.Show();
    window.Run();
  } catch (const std::exception& failure) {
    window.Quit();  // no handler of the half-made form may run under the box
    platform::gtk::RunMessageBox(nullptr, std::string("Tapwing 无法启动:\n") + failure.what(), "Tapwing", true);
    return 1;
  }
  return 0;
}
