// What a display server adds to the GTK toolkit: the global hotkeys and the input device. One
// backend per folder beside this one (x11/, wayland/); the program picks one at start.
#pragma once

#include <gtk/gtk.h>

#include <functional>
#include <memory>
#include <string>

#include "platform/gtk/gtk_hotkeys.h"
#include "platform/input_device.h"

namespace platform::gtk {

class DisplayBackend {
 public:
  virtual ~DisplayBackend() = default;

  virtual HotkeyLatches& Hotkeys() = 0;
  // The form's window exists and is not yet shown: hear its keys, ask for what needs asking.
  virtual void Attach(GtkWidget* window) = 0;
  // Throws InputError when there is no way to move and click.
  virtual std::unique_ptr<InputDevice> OpenInput() = 0;
  // As Services::InputAllowed.
  virtual bool InputAllowed() { return true; }
  // `tapwing --about-session`: what the session offers and which paths are taken, one line
  // each for the display server, the input, the pointer reading and the hotkeys.
  virtual std::string AboutSession() = 0;

  // Set by the services: the input became unusable on its own (Services::InputLost).
  std::function<void(const InputError&)> InputLost;
};

}  // namespace platform::gtk
