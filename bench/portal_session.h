// What the benchmark's portal clickers share: the session bus, blocking portal calls and
// requests (their Response subscribed before the call, at the path the token predicts), and
// the one way they give up ("error ..." on stdout, exit 3).
#pragma once

#include <gio/gio.h>

#include <cstdlib>
#include <ctime>
#include <initializer_list>
#include <iostream>
#include <string>
#include <utility>

inline constexpr const char* kPortal = "org.freedesktop.portal.Desktop";
inline constexpr const char* kPath = "/org/freedesktop/portal/desktop";
inline constexpr const char* kRemoteDesktop = "org.freedesktop.portal.RemoteDesktop";

inline GDBusConnection* g_bus = nullptr;
inline std::string g_sender;  // our unique name as request paths spell it
inline std::string g_session;

[[noreturn]] inline void Die(const std::string& what) {
  std::cout << "error " << what << std::endl;
  std::exit(3);
}

inline long long Micros() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return now.tv_sec * 1000000LL + now.tv_nsec / 1000;
}

inline void ConnectBus() {
  GError* error = nullptr;
  g_bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
  if (g_bus == nullptr) Die(error->message);
  g_sender = g_dbus_connection_get_unique_name(g_bus) + 1;
  for (char& c : g_sender)
    if (c == '.') c = '_';
}

inline GVariant* Call(const char* interface, const char* method, GVariant* args) {
  GError* error = nullptr;
  GVariant* reply = g_dbus_connection_call_sync(g_bus, kPortal, kPath, interface, method, args, nullptr,
                                                G_DBUS_CALL_FLAGS_NONE, -1, nullptr, &error);
  if (reply == nullptr) Die(std::string(method) + ": " + error->message);
  return reply;
}

// A portal request, answered: its results, or the end of the program where it is refused.
inline GVariant* Request(const char* interface, const char* method, const std::string& token, GVariant* args) {
  const std::string path = "/org/freedesktop/portal/desktop/request/" + g_sender + "/" + token;
  struct Answer {
    bool done = false;
    guint32 code = 2;
    GVariant* results = nullptr;
  } answer;
  const guint id = g_dbus_connection_signal_subscribe(
      g_bus, kPortal, "org.freedesktop.portal.Request", "Response", path.c_str(), nullptr, G_DBUS_SIGNAL_FLAGS_NONE,
      [](GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*, GVariant* p, gpointer data) {
        auto* a = static_cast<Answer*>(data);
        g_variant_get(p, "(u@a{sv})", &a->code, &a->results);
        a->done = true;
      },
      &answer, nullptr);
  g_variant_unref(Call(interface, method, args));
  while (!answer.done) g_main_context_iteration(nullptr, TRUE);
  g_dbus_connection_signal_unsubscribe(g_bus, id);
  if (answer.code != 0) Die(std::string(method) + " answered " + std::to_string(answer.code));
  return answer.results;
}

// A request's options: its handle token and `more`.
inline GVariant* Options(const std::string& token, std::initializer_list<std::pair<const char*, GVariant*>> more) {
  GVariantBuilder b;
  g_variant_builder_init(&b, G_VARIANT_TYPE_VARDICT);
  g_variant_builder_add(&b, "{sv}", "handle_token", g_variant_new_string(token.c_str()));
  for (const auto& [name, value] : more) g_variant_builder_add(&b, "{sv}", name, value);
  return g_variant_builder_end(&b);
}
