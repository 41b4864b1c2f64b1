#include "platform/gtk/gtk_services.h"

#include <clocale>

#include "platform/gtk/gtk_program_files.h"
#include "platform/gtk/gtk_skin_css.h"
#include "platform/gtk/x11_input.h"

namespace platform::gtk {

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

std::unique_ptr<InputDevice> Services::OpenInput() { return X11Input::Open(); }

}  // namespace platform::gtk
