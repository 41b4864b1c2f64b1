// Tapwing's entry point on Linux: GTK on Wayland or X11, the display backend for that server, the
// form window, Form1 and the GLib loop, which is the program's only loop.
#include <gtk/gtk.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <string>
#include <string_view>

#include "platform/gtk/gtk_form_window.h"
#include "platform/gtk/gtk_hotkey_command.h"
#include "platform/gtk/gtk_message_box.h"
#include "platform/gtk/gtk_services.h"
#include "window/form1.h"
#if TAPWING_HAVE_WAYLAND
#include "platform/wayland/wayland_backend.h"
#include "platform/wayland/gnome/gnome_shortcuts.h"
#endif
#if TAPWING_HAVE_X11
#include "platform/x11/x11_backend.h"
#endif

namespace {

std::string Variable(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr || *value == '\0' ? std::string(name) + " 未设置" : std::string(name) + "=" + value;
}

// What GTK left of the command line is no option of ours.
int Usage(const char* word) {
  std::fprintf(stderr,
               "tapwing: 不认识 \"%s\"\n"
               "usage: tapwing                      start Tapwing\n"
               "       tapwing --hotkey F5|F6|F7    deliver one press to the running Tapwing\n"
               "       tapwing --about-session      say how Tapwing clicks and hears its keys here\n"
               "       tapwing --setup-shortcuts    bind F5/F6/F7 as GNOME custom shortcuts\n"
               "       tapwing --remove-shortcuts   take those shortcuts out again\n",
               word);
  return 2;
}

int NoDisplay() {
  std::fprintf(stderr, "tapwing: 无法连接显示服务器 (%s, %s): Tapwing needs a Wayland or X11 display\n",
               Variable("WAYLAND_DISPLAY").c_str(), Variable("DISPLAY").c_str());
  return 1;
}

// The backend for the server GTK opened: Wayland where the session is Wayland (GDK_BACKEND=x11
// keeps XWayland), else X11.
std::unique_ptr<platform::gtk::DisplayBackend> OpenDisplayBackend() {
#if TAPWING_HAVE_WAYLAND
  if (platform::wayland::IsWaylandDisplay()) return std::make_unique<platform::wayland::WaylandBackend>();
#endif
#if TAPWING_HAVE_X11
  return std::make_unique<platform::x11::X11Backend>();
#else
  return nullptr;
#endif
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
  if (argc >= 2 && std::string_view(argv[1]) == "--hotkey") {
    if (argc != 3) {
      std::fprintf(stderr, "usage: tapwing --hotkey F5|F6|F7\n");
      return 2;
    }
    return platform::gtk::SendHotkey(argv[2]);
  }
#if TAPWING_HAVE_WAYLAND
  if (argc == 2 && std::string_view(argv[1]) == "--setup-shortcuts") return platform::wayland::SetUpGnomeShortcuts();
  if (argc == 2 && std::string_view(argv[1]) == "--remove-shortcuts") return platform::wayland::RemoveGnomeShortcuts();
#endif
  const bool about = argc == 2 && std::string_view(argv[1]) == "--about-session";
  g_set_prgname("org.tapwing.Tapwing");  // the desktop entry's name: WM_CLASS and app_id match it
  gdk_set_allowed_backends("wayland,x11");
  if (!gtk_init_check(&argc, &argv)) return NoDisplay();
  if (argc > 1 && !about) return Usage(argv[1]);
  const auto display = OpenDisplayBackend();
  if (display == nullptr) return NoDisplay();
  if (about) {
    std::fputs(display->AboutSession().c_str(), stdout);
    return 0;
  }
  SetWindowIcons();

  platform::gtk::FormWindow window;
  platform::gtk::Services system(window, *display);
  platform::gtk::HotkeyLatches& keyboard = display->Hotkeys();
  try {
    Form1 form(window, system, keyboard);
    // An F7 still waiting for the desktop to report the pointer keeps the poll ticking.
    window.SleepPollAtRest(keyboard, [&form] { return form.CaptureWaiting(); });
    form.Form_Load();
    if (system.Ended()) return 0;
    // Only the one copy that runs asks the desktop for anything, before its window takes input.
    display->Attach(GTK_WIDGET(window.Window()));
    platform::gtk::HotkeyCommands commands(keyboard);
    window.Show();
    window.Run();
  } catch (const std::exception& failure) {
    window.Quit();  // no handler of the half-made form may run under the box
    platform::gtk::RunMessageBox(nullptr, std::string("Tapwing 无法启动:\n") + failure.what(), "Tapwing", true);
    return 1;
  }
  return 0;
}
