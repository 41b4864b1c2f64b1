#include "platform/gtk/gtk_program_files.h"

#include <glib.h>
#include <unistd.h>

#include <climits>
#include <cstddef>
#include <cstdlib>
#include <string>
#include <string_view>

namespace platform::gtk {

std::string ProgramFolder() {
  char path[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
  if (length <= 0) return ".";
  const std::string program(path, static_cast<std::size_t>(length));
  const std::size_t slash = program.rfind('/');
  return slash == 0 ? "/" : program.substr(0, slash);
}

std::string FindProgramFile(std::string_view folder, std::string_view name) {
  while (!name.empty() && (name.front() == '/' || name.front() == '\\')) name.remove_prefix(1);
  std::string base(folder);
  if (base.empty() || base.back() != '/') base += '/';
  const std::string beside = base + std::string(name);
  if (access(beside.c_str(), F_OK) == 0) return beside;
  const std::string installed = base + "../share/tapwing/" + std::string(name);
  if (access(installed.c_str(), F_OK) == 0) return installed;
  return beside;
}

std::string UserFolder(const char* variable, const char* underHome) {
  const char* value = std::getenv(variable);
  if (value != nullptr && *value == '/') return value;
  return std::string(g_get_home_dir()) + "/" + underHome;
}

}  // namespace platform::gtk
