// The X11 display backend: hotkeys heard in every X11 window through XInput2, clicks through
// XTest. Under XWayland both reach X11 windows only.
#pragma once

#include <memory>
#include <string>

#include "platform/gtk/gtk_display_backend.h"
#include "platform/x11/x11_hotkeys.h"

namespace platform::x11 {

class X11Backend : public gtk::DisplayBackend {
 public:
  gtk::HotkeyLatches& Hotkeys() override { return hotkeys_; }
  void Attach(GtkWidget* window) override { hotkeys_.Hear(window); }
  std::unique_ptr<InputDevice> OpenInput() override;
  std::string AboutSession() override;

 private:
  X11Hotkeys hotkeys_;
};

}  // namespace platform::x11
