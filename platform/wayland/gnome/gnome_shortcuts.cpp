#include "platform/wayland/gnome/gnome_shortcuts.h"

#include <gio/gio.h>

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace platform::wayland {
namespace {

constexpr const char* kMediaKeys = "org.gnome.settings-daemon.plugins.media-keys";
constexpr const char* kCustomBinding = "org.gnome.settings-daemon.plugins.media-keys.custom-keybinding";
constexpr const char* kFolder = "/org/gnome/settings-daemon/plugins/media-keys/custom-keybindings/";

struct Shortcut {
  const char* key;
  const char* name;
};
constexpr Shortcut kShortcuts[] = {{"F5", "Tapwing 开始连点"}, {"F6", "Tapwing 停止连点"}, {"F7", "Tapwing 取坐标"}};

std::string PathOf(const Shortcut& shortcut) { return std::string(kFolder) + "tapwing-" + shortcut.key + "/"; }

bool Installed() {
  GSettingsSchemaSource* source = g_settings_schema_source_get_default();
  GSettingsSchema* schema = source != nullptr ? g_settings_schema_source_lookup(source, kMediaKeys, TRUE) : nullptr;
  if (schema == nullptr) {
    std::fprintf(stderr, "tapwing: 这里没有 GNOME 的快捷键设置 (%s)\n", kMediaKeys);
    return false;
  }
  g_settings_schema_unref(schema);
  return true;
}

// The program itself, by full path, so the shortcut works wherever it was started from.
std::string ThisProgram() {
  gchar* path = g_file_read_link("/proc/self/exe", nullptr);
  std::string program = path != nullptr ? path : "tapwing";
  g_free(path);
  return program;
}

std::vector<std::string> Listed(GSettings* keys) {
  std::vector<std::string> paths;
  gchar** list = g_settings_get_strv(keys, "custom-keybindings");
  for (gchar** each = list; *each != nullptr; ++each) paths.emplace_back(*each);
  g_strfreev(list);
  return paths;
}

void List(GSettings* keys, const std::vector<std::string>& paths) {
  std::vector<const char*> list;
  for (const std::string& path : paths) list.push_back(path.c_str());
  list.push_back(nullptr);
  g_settings_set_strv(keys, "custom-keybindings", list.data());
}

}  // namespace

// GNOME runs the command as a desktop entry's Exec line, where % starts a field code.
std::optional<std::string> ShortcutCommand(const std::string& program, const char* key) {
  if (!g_utf8_validate(program.data(), static_cast<gssize>(program.size()), nullptr)) return std::nullopt;
  gchar* quoted = g_shell_quote(program.c_str());
  std::string command;
  for (const char* c = quoted; *c != '\0'; ++c) command += *c == '%' ? "%%" : std::string(1, *c);
  g_free(quoted);
  return command + " --hotkey " + key;
}

int SetUpGnomeShortcuts() {
  if (!Installed()) return 1;
  const std::string program = ThisProgram();
  if (!ShortcutCommand(program, "F5")) {
    std::fprintf(stderr, "tapwing: 程序的路径不是 UTF-8, GNOME 的设置存不下它: %s\n", program.c_str());
    return 1;
  }
  GSettings* keys = g_settings_new(kMediaKeys);
  std::vector<std::string> paths = Listed(keys);
  for (const Shortcut& shortcut : kShortcuts) {
    const std::string path = PathOf(shortcut);
    const std::string command = *ShortcutCommand(program, shortcut.key);
    GSettings* binding = g_settings_new_with_path(kCustomBinding, path.c_str());
    g_settings_set_string(binding, "name", shortcut.name);
    g_settings_set_string(binding, "command", command.c_str());
    g_settings_set_string(binding, "binding", shortcut.key);
    g_object_unref(binding);
    bool listed = false;
    for (const std::string& each : paths) listed = listed || each == path;
    if (!listed) paths.push_back(path);
    std::printf("tapwing: GNOME 自定义快捷键 %s: %s (%s)\n", shortcut.key, command.c_str(), path.c_str());
  }
  List(keys, paths);
  g_settings_sync();
  g_object_unref(keys);
  return 0;
}

int RemoveGnomeShortcuts() {
  if (!Installed()) return 1;
  GSettings* keys = g_settings_new(kMediaKeys);
  std::vector<std::string> paths = Listed(keys);
  for (const Shortcut& shortcut : kShortcuts) {
    const std::string path = PathOf(shortcut);
    GSettings* binding = g_settings_new_with_path(kCustomBinding, path.c_str());
    for (const char* key : {"name", "command", "binding"}) g_settings_reset(binding, key);
    g_object_unref(binding);
    std::erase(paths, path);
    std::printf("tapwing: 已删除 GNOME 自定义快捷键 %s (%s)\n", shortcut.key, path.c_str());
  }
  List(keys, paths);
  g_settings_sync();
  g_object_unref(keys);
  return 0;
}

}  // namespace platform::wayland
