#include "platform/gtk/gtk_services.h"

#include <clocale>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "platform/gtk/gtk_program_files.h"
#include "platform/gtk/gtk_skin_css.h"

namespace platform::gtk {

Services::Services(FormWindow& window, DisplayBackend& display) : window_(window), display_(display) {
  // A loss is told from inside a portal, libei or PipeWire callback; its message box runs a loop
  // of its own, which must not run there. The first loss waits for the loop's next idle moment.
  display_.InputLost = [this](const InputError& error) {
    if (lost_) return;
    lost_.emplace(error);
    lostIdle_ = g_idle_add(&Services::ReportLoss, this);
  };
}

Services::~Services() {
  display_.InputLost = nullptr;
  if (lostIdle_ != 0) g_source_remove(lostIdle_);
}

gboolean Services::ReportLoss(gpointer data) {
  auto* self = static_cast<Services*>(data);
  self->lostIdle_ = 0;
  const InputError error = *std::exchange(self->lost_, std::nullopt);
  if (self->InputLost) self->InputLost(error);
  return G_SOURCE_REMOVE;
}

void Services::MsgBox(std::string_view prompt, std::string_view title) { window_.MessageBox(prompt, title); }

void Services::End() {
  ended_ = true;
  window_.Quit();
}

std::string Services::DecimalSeparator() {
  const lconv* conventions = std::localeconv();
  const char* point = conventions != nullptr ? conventions->decimal_point : nullptr;
  return point != nullptr && *point != '\0' ? point : ".";
}

std::string Services::ProgramFile(std::string_view name) { return FindProgramFile(ProgramFolder(), name); }

void Services::AttachSkin(std::string_view skinFile) { ApplySkinFile(skinFile); }

}  // namespace platform::gtk
