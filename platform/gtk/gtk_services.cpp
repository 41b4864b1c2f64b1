#include "platform/gtk/gtk_services.h"

#include <clocale>

#include "platform/gtk/gtk_program_files.h"
#include "platform/gtk/gtk_skin_css.h"

namespace platform::gtk {

Services::Services(FormWindow& window, DisplayBackend& display) : window_(window), display_(display) {
  display_.InputLost = [this](const InputError& error) {
    if (InputLost) InputLost(error);
  };
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
