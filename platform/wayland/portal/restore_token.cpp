#include "platform/wayland/portal/restore_token.h"

#include <fcntl.h>
#include <glib.h>
#include <glib/gstdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/gtk/gtk_program_files.h"

namespace platform::wayland {
namespace {

// A token is a short id; anything much longer is not one.
constexpr std::size_t kLongest = 4096;

}  // namespace

using gtk::UserFolder;

std::string RestoreTokenFile() {
  return UserFolder("XDG_STATE_HOME", ".local/state") + "/tapwing/restore-token";
}

std::string ReadRestoreToken(const std::string& file) {
  const int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return {};
  struct stat info{};
  std::string text;
  if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
    char buffer[kLongest + 1];
    const ssize_t length = read(fd, buffer, sizeof buffer);
    if (length > 0 && static_cast<std::size_t>(length) <= kLongest) text.assign(buffer, static_cast<std::size_t>(length));
  }
  close(fd);
  const auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return {};
  text = text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
  return g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr) ? text : std::string();
}

void SaveRestoreToken(const std::string& file, const std::string& token) {
  static bool told = false;
  gchar* folder = g_path_get_dirname(file.c_str());
  g_mkdir_with_parents(folder, 0700);
  g_free(folder);
  // A new file renamed over the old: a link in its place is replaced, never followed.
  GError* error = nullptr;
  if (g_file_set_contents_full(file.c_str(), token.c_str(), static_cast<gssize>(token.size()),
                               G_FILE_SET_CONTENTS_CONSISTENT, 0600, &error))
    return;
  if (!told) {
    told = true;
    std::fprintf(stderr, "tapwing: 无法保存远程桌面的许可 (%s): 下次启动时桌面会再问一次\n", error->message);
  }
  g_error_free(error);
}

}  // namespace platform::wayland
