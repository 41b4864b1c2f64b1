// What the form asks of the system, on Linux.
//
// Implemented: message boxes over the form window; one instance per user session (flock);
// ending the program; the locale's decimal separator; the program's files beside it or in
// ../share/tapwing; the skin as GTK CSS; the input device and its permission from the display
// backend.
// Not possible here (nothing to do): no component registry, so RegisterComponent does nothing.
#pragma once

#include <glib.h>

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/gtk/gtk_display_backend.h"
#include "platform/gtk/gtk_form_window.h"
#include "platform/gtk/gtk_instance_lock.h"
#include "platform/services.h"

namespace platform::gtk {

class Services : public platform::Services {
 public:
  Services(FormWindow& window, DisplayBackend& display);
  ~Services() override;
  Services(const Services&) = delete;
  Services& operator=(const Services&) = delete;

  void MsgBox(std::string_view prompt, std::string_view title) override;
  bool PrevInstance() override { return lock_.HeldByAnother(); }
  void End() override;
  std::string DecimalSeparator() override;
  std::string ProgramFile(std::string_view name) override;
  void RegisterComponent(std::string_view) override {}
  void AttachSkin(std::string_view skinFile) override;
  std::unique_ptr<InputDevice> OpenInput() override { return display_.OpenInput(); }
  bool InputAllowed() override { return display_.InputAllowed(); }

  bool Ended() const { return ended_; }

 private:
  FormWindow& window_;
  DisplayBackend& display_;
  InstanceLock lock_;
  bool ended_ = false;
  std::optional<InputError> lost_;  // told by the display, not yet reported
  guint lostIdle_ = 0;

  static gboolean ReportLoss(gpointer self);
};

}  // namespace platform::gtk
