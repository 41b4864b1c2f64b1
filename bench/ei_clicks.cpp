// ei_clicks X Y: the benchmark's reference clicker through libei. Opens a RemoteDesktop portal
// session of its own (a pointer; the portal must be version 2 with ConnectToEIS), connects a
// libei sender to the socket ConnectToEIS gives, and waits for a resumed absolute pointer whose
// regions hold (X, Y) and a resumed device with buttons; the devices and regions the desktop
// offers go to stderr. Then "ready" on stdout, and a round for each "run COUNT PERIOD_MS
// SENDS_FILE" line on stdin, as portal_clicks runs them: a timerfd on a fixed CLOCK_MONOTONIC
// grid, each tick a move to (X, Y), a left press and a release, each with its frame. The
// moment each press goes out is appended to SENDS_FILE (µs, one line each), then "done" on
// stdout. Between ticks libei is dispatched, so the desktop's pings are answered. Ends the
// session at the end of stdin.

#include <gio/gio.h>
#include <gio/gunixfdlist.h>
#include <libei.h>
#include <poll.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <iostream>
#include <string>
#include <utility>
#include <vector>

#include "portal_session.h"
#include "round_commands.h"
#include "timer_grid.h"

namespace {

constexpr std::uint32_t kLeft = 0x110;


struct Libei {
  ei* context = nullptr;
  ei_device* pointer = nullptr;  // resumed, absolute, its regions hold the point
  ei_device* buttons = nullptr;  // resumed, with buttons
  std::uint32_t sequence = 0;
} g_ei;


std::uint32_t PortalVersion() {
  GVariant* reply = g_dbus_connection_call_sync(g_bus, kPortal, kPath, "org.freedesktop.DBus.Properties", "Get",
                                                g_variant_new("(ss)", kRemoteDesktop, "version"), G_VARIANT_TYPE("(v)"),
                                                G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr);
  if (reply == nullptr) return 0;
  GVariant* value = nullptr;
  g_variant_get(reply, "(v)", &value);
  const std::uint32_t version = g_variant_is_of_type(value, G_VARIANT_TYPE_UINT32) ? g_variant_get_uint32(value) : 0;
  g_variant_unref(value);
  g_variant_unref(reply);
  return version;
}

// The session, started; returns the socket ConnectToEIS gives.
int OpenSession() {
  const std::uint32_t version = PortalVersion();
  if (version < 2) Die("RemoteDesktop portal version " + std::to_string(version) + " has no ConnectToEIS");
  GVariant* r = Request(kRemoteDesktop, "CreateSession", "eic1",
                        g_variant_new("(@a{sv})", Options("eic1", {{"session_handle_token", g_variant_new_string("eic")}})));
  const gchar* handle = nullptr;
  if (!g_variant_lookup(r, "session_handle", "&s", &handle)) Die("no session handle");
  g_session = handle;
  g_variant_unref(r);
  const char* s = g_session.c_str();
  g_variant_unref(Request(kRemoteDesktop, "SelectDevices", "eic2",
                          g_variant_new("(o@a{sv})", s, Options("eic2", {{"types", g_variant_new_uint32(2)}}))));
  g_variant_unref(Request(kRemoteDesktop, "Start", "eic3", g_variant_new("(os@a{sv})", s, "", Options("eic3", {}))));

  GUnixFDList* fds = nullptr;
  GError* error = nullptr;
  GVariant* reply = g_dbus_connection_call_with_unix_fd_list_sync(
      g_bus, kPortal, kPath, kRemoteDesktop, "ConnectToEIS",
      g_variant_new("(o@a{sv})", s, g_variant_new_array(G_VARIANT_TYPE("{sv}"), nullptr, 0)), G_VARIANT_TYPE("(h)"),
      G_DBUS_CALL_FLAGS_NONE, -1, nullptr, &fds, nullptr, &error);
  if (reply == nullptr) Die(std::string("ConnectToEIS: ") + error->message);
  gint32 index = -1;
  g_variant_get(reply, "(h)", &index);
  g_variant_unref(reply);
  const int fd = fds != nullptr ? g_unix_fd_list_get(fds, index, &error) : -1;
  if (fds != nullptr) g_object_unref(fds);
  if (fd < 0) Die("ConnectToEIS gave no socket");
  return fd;
}

void Describe(ei_device* device) {
  std::string caps;
  for (auto [cap, name] : {std::pair{EI_DEVICE_CAP_POINTER, "pointer"}, {EI_DEVICE_CAP_POINTER_ABSOLUTE, "absolute"},
                           {EI_DEVICE_CAP_BUTTON, "button"}, {EI_DEVICE_CAP_SCROLL, "scroll"},
                           {EI_DEVICE_CAP_KEYBOARD, "keyboard"}, {EI_DEVICE_CAP_TOUCH, "touch"}})
    if (ei_device_has_capability(device, cap)) caps += std::string(caps.empty() ? "" : ",") + name;
  const char* name = ei_device_get_name(device);
  std::fprintf(stderr, "ei_clicks: device \"%s\" %s %s\n", name != nullptr ? name : "", caps.c_str(),
               ei_device_get_type(device) == EI_DEVICE_TYPE_VIRTUAL ? "virtual" : "physical");
  for (std::size_t i = 0; ei_region* r = ei_device_get_region(device, i); ++i) {
    const char* mapping = ei_region_get_mapping_id(r);
    std::fprintf(stderr, "ei_clicks:   region %u,%u %ux%u scale %g%s%s\n", ei_region_get_x(r), ei_region_get_y(r),
                 ei_region_get_width(r), ei_region_get_height(r), ei_region_get_physical_scale(r),
                 mapping != nullptr ? " mapping " : "", mapping != nullptr ? mapping : "");
  }
}

// Reads what libei has; the devices for the point are taken as they resume.
void Dispatch(double x, double y) {
  ei_dispatch(g_ei.context);
  while (ei_event* event = ei_get_event(g_ei.context)) {
    ei_device* device = ei_event_get_device(event);
    switch (ei_event_get_type(event)) {
      case EI_EVENT_DISCONNECT:
        Die("the desktop disconnected libei");
      case EI_EVENT_SEAT_ADDED:
        std::fprintf(stderr, "ei_clicks: seat \"%s\"\n", ei_seat_get_name(ei_event_get_seat(event)));
        ei_seat_bind_capabilities(ei_event_get_seat(event), EI_DEVICE_CAP_POINTER_ABSOLUTE, EI_DEVICE_CAP_BUTTON,
                                  EI_DEVICE_CAP_SCROLL, nullptr);
        break;
      case EI_EVENT_DEVICE_ADDED:
        Describe(device);
        break;
      case EI_EVENT_DEVICE_RESUMED:
        ei_device_start_emulating(device, ++g_ei.sequence);
        if (g_ei.pointer == nullptr && ei_device_has_capability(device, EI_DEVICE_CAP_POINTER_ABSOLUTE) &&
            ei_device_get_region_at(device, x, y) != nullptr)
          g_ei.pointer = ei_device_ref(device);
        if (g_ei.buttons == nullptr && ei_device_has_capability(device, EI_DEVICE_CAP_BUTTON))
          g_ei.buttons = ei_device_ref(device);
        break;
      case EI_EVENT_DEVICE_PAUSED:
      case EI_EVENT_DEVICE_REMOVED:
      case EI_EVENT_SEAT_REMOVED:
        if (device == nullptr || device == g_ei.pointer || device == g_ei.buttons)
          Die(std::string("the desktop took the device: ") + ei_event_type_to_string(ei_event_get_type(event)));
        break;
      default:
        break;
    }
    ei_event_unref(event);
  }
}

void Connect(int fd, double x, double y) {
  g_ei.context = ei_new_sender(nullptr);
  ei_configure_name(g_ei.context, "ei_clicks");
  if (ei_setup_backend_fd(g_ei.context, fd) != 0) Die("libei could not take the socket");
  const long long deadline = Micros() + 10000000;
  while (g_ei.pointer == nullptr || g_ei.buttons == nullptr) {
    pollfd p{ei_get_fd(g_ei.context), POLLIN, 0};
    if (Micros() > deadline) Die("no resumed absolute pointer over the point, or no buttons, within 10 s");
    if (poll(&p, 1, 200) > 0) Dispatch(x, y);
  }
}

void Frame(ei_device* device) { ei_device_frame(device, ei_now(g_ei.context)); }

void Round(long count, long period_ms, double x, double y, const std::string& sends_file) {
  const int timer = OpenTimerGrid(period_ms);
  if (timer < 0) Die("timerfd");
  std::vector<long long> sends;
  sends.reserve(static_cast<size_t>(count));
  for (long done = 0; done < count;) {
    pollfd p[2] = {{timer, POLLIN, 0}, {ei_get_fd(g_ei.context), POLLIN, 0}};
    if (poll(p, 2, -1) < 0) Die("poll");
    if (p[1].revents != 0) Dispatch(x, y);
    if (p[0].revents == 0) continue;
    uint64_t expirations = 0;
    if (read(timer, &expirations, sizeof expirations) != sizeof expirations) Die("read timerfd");
    ei_device_pointer_motion_absolute(g_ei.pointer, x, y);
    Frame(g_ei.pointer);
    sends.push_back(Micros());
    ei_device_button_button(g_ei.buttons, kLeft, true);
    Frame(g_ei.buttons);
    ei_device_button_button(g_ei.buttons, kLeft, false);
    Frame(g_ei.buttons);
    ++done;
  }
  close(timer);
  if (FILE* out = std::fopen(sends_file.c_str(), "a")) {
    for (long long us : sends) std::fprintf(out, "%lld\n", us);
    std::fclose(out);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: ei_clicks X Y  (then \"run COUNT PERIOD_MS SENDS_FILE\" lines on stdin)\n");
    return 2;
  }
  ConnectBus();
  const double x = std::atof(argv[1]), y = std::atof(argv[2]);
  Connect(OpenSession(), x, y);
  std::cout << "ready" << std::endl;
  RoundCommand round;
  while (NextRound(round)) {
    Round(round.count, round.period_ms, x, y, round.sends_file);
    std::cout << "done" << std::endl;
  }
  ei_unref(g_ei.context);
  GVariant* closed = g_dbus_connection_call_sync(g_bus, kPortal, g_session.c_str(), "org.freedesktop.portal.Session",
                                                 "Close", nullptr, nullptr, G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, nullptr);
  if (closed != nullptr) g_variant_unref(closed);
  return 0;
}
