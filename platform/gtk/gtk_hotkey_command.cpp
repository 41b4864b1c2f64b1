#include "platform/gtk/gtk_hotkey_command.h"

#include <strings.h>

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

namespace platform::gtk {
namespace {

constexpr const char* kObjectPath = "/org/tapwing/Tapwing";

}  // namespace

std::optional<Hotkey> ParseHotkey(std::string_view name) {
  const std::string key(name);
  if (strcasecmp(key.c_str(), "F5") == 0) return Hotkey::F5;
  if (strcasecmp(key.c_str(), "F6") == 0) return Hotkey::F6;
  if (strcasecmp(key.c_str(), "F7") == 0) return Hotkey::F7;
  return std::nullopt;
}

HotkeyCommands::HotkeyCommands(HotkeyLatches& keys) : keys_(keys) {
  // The instance lock has decided already that this copy runs; it owns the name, and answers,
  // unless a copy with another runtime dir holds it on the same bus.
  application_ = g_application_new(kApplicationId, G_APPLICATION_DEFAULT_FLAGS);
  GSimpleAction* hotkey = g_simple_action_new("hotkey", G_VARIANT_TYPE_STRING);
  g_signal_connect(hotkey, "activate", G_CALLBACK(&HotkeyCommands::OnHotkey), this);
  g_action_map_add_action(G_ACTION_MAP(application_), G_ACTION(hotkey));
  g_object_unref(hotkey);
  GError* error = nullptr;
  if (!g_application_register(application_, nullptr, &error)) {
    std::fprintf(stderr, "tapwing: tapwing --hotkey 不可用: %s\n", error->message);
    g_error_free(error);
  } else if (g_application_get_is_remote(application_)) {
    // Another copy with another runtime dir, on the same bus, passed its own lock first.
    std::fprintf(stderr, "tapwing: 这个会话总线上已有另一个 Tapwing (%s): tapwing --hotkey 送到的是它, 不是这一个\n",
                 kApplicationId);
  }
}

HotkeyCommands::~HotkeyCommands() { g_object_unref(application_); }

void HotkeyCommands::OnHotkey(GSimpleAction*, GVariant* parameter, gpointer data) {
  const auto key = ParseHotkey(g_variant_get_string(parameter, nullptr));
  if (key) static_cast<HotkeyCommands*>(data)->keys_.Tap(*key);
}

int SendHotkey(std::string_view name) {
  const auto key = ParseHotkey(name);
  if (!key) {
    std::fprintf(stderr, "tapwing: --hotkey 只认 F5、F6、F7, 不认 \"%.*s\"\n", static_cast<int>(name.size()), name.data());
    return 2;
  }
  GError* error = nullptr;
  GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
  if (bus == nullptr) {
    std::fprintf(stderr, "tapwing: 无法连接 D-Bus 会话总线: %s\n", error->message);
    g_error_free(error);
    return 1;
  }
  const char* keyName[] = {"F5", "F6", "F7"};
  GVariantBuilder parameter;
  g_variant_builder_init(&parameter, G_VARIANT_TYPE("av"));
  g_variant_builder_add(&parameter, "v", g_variant_new_string(keyName[static_cast<int>(*key)]));
  // No auto-start: a press must never become a Tapwing of its own.
  GVariant* reply = g_dbus_connection_call_sync(
      bus, kApplicationId, kObjectPath, "org.freedesktop.Application", "ActivateAction",
      g_variant_new("(sav@a{sv})", "hotkey", &parameter, g_variant_new_array(G_VARIANT_TYPE("{sv}"), nullptr, 0)),
      nullptr, G_DBUS_CALL_FLAGS_NO_AUTO_START, 5000, nullptr, &error);
  g_object_unref(bus);
  if (reply == nullptr) {
    const bool absent = g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_SERVICE_UNKNOWN) ||
                        g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_NAME_HAS_NO_OWNER);
    if (absent)
      std::fprintf(stderr, "tapwing: Tapwing 没有在运行, %s 没有送达\n", keyName[static_cast<int>(*key)]);
    else
      std::fprintf(stderr, "tapwing: %s 没有送达: %s\n", keyName[static_cast<int>(*key)], error->message);
    g_error_free(error);
    return 1;
  }
  g_variant_unref(reply);
  return 0;
}

}  // namespace platform::gtk
