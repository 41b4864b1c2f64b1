// portal_clicks X Y: the benchmark's reference clicker on Wayland. Opens a RemoteDesktop portal
// session of its own (a pointer, and a ScreenCast stream of the monitor for absolute moves),
// says "ready" on stdout, then runs a round for each "run COUNT PERIOD_MS SENDS_FILE" line on
// stdin: a timerfd on a fixed CLOCK_MONOTONIC grid (absolute deadlines), each tick a move to
// (X, Y), a left press and a release, each call waiting for the previous reply, as Tapwing
// sends them, with nothing else around it. The moment each press goes out is appended to
// SENDS_FILE (µs, one line each), then "done" on stdout. A tick later than a whole period fires
// once. Ends the session at the end of stdin.

#include <gio/gio.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <iostream>
#include <string>
#include <vector>

#include "portal_session.h"
#include "round_commands.h"
#include "timer_grid.h"

namespace {

constexpr const char* kScreenCast = "org.freedesktop.portal.ScreenCast";
constexpr std::int32_t kLeft = 0x110;



GVariant* NoOptions() { return g_variant_new_array(G_VARIANT_TYPE("{sv}"), nullptr, 0); }

// Returns the stream node and its position on the desktop.
std::uint32_t OpenSession(int* x0, int* y0) {
  GVariant* r = Request(kRemoteDesktop, "CreateSession", "ref1",
                        g_variant_new("(@a{sv})", Options("ref1", {{"session_handle_token", g_variant_new_string("ref")}})));
  const gchar* handle = nullptr;
  if (!g_variant_lookup(r, "session_handle", "&s", &handle)) Die("no session handle");
  g_session = handle;
  g_variant_unref(r);
  const char* s = g_session.c_str();
  g_variant_unref(Request(kRemoteDesktop, "SelectDevices", "ref2",
                          g_variant_new("(o@a{sv})", s, Options("ref2", {{"types", g_variant_new_uint32(2)}}))));
  g_variant_unref(Request(kScreenCast, "SelectSources", "ref3",
                          g_variant_new("(o@a{sv})", s, Options("ref3", {{"types", g_variant_new_uint32(1)}}))));
  r = Request(kRemoteDesktop, "Start", "ref4", g_variant_new("(os@a{sv})", s, "", Options("ref4", {})));
  GVariant* streams = g_variant_lookup_value(r, "streams", G_VARIANT_TYPE("a(ua{sv})"));
  if (streams == nullptr || g_variant_n_children(streams) == 0) Die("no stream");
  std::uint32_t node = 0;
  GVariant* props = nullptr;
  g_variant_get_child(streams, 0, "(u@a{sv})", &node, &props);
  if (!g_variant_lookup(props, "position", "(ii)", x0, y0)) *x0 = *y0 = 0;
  g_variant_unref(props);
  g_variant_unref(streams);
  g_variant_unref(r);
  return node;
}

void Round(long count, long period_ms, std::uint32_t node, double x, double y, const std::string& sends_file) {
  const int fd = OpenTimerGrid(period_ms);
  if (fd < 0) Die("timerfd");
  const char* s = g_session.c_str();
  std::vector<long long> sends;
  sends.reserve(static_cast<size_t>(count));
  for (long done = 0; done < count; ++done) {
    uint64_t expirations = 0;
    if (read(fd, &expirations, sizeof expirations) != sizeof expirations) Die("read timerfd");
    g_variant_unref(Call(kRemoteDesktop, "NotifyPointerMotionAbsolute",
                         g_variant_new("(o@a{sv}udd)", s, NoOptions(), node, x, y)));
    sends.push_back(Micros());
    g_variant_unref(Call(kRemoteDesktop, "NotifyPointerButton", g_variant_new("(o@a{sv}iu)", s, NoOptions(), kLeft, 1u)));
    g_variant_unref(Call(kRemoteDesktop, "NotifyPointerButton", g_variant_new("(o@a{sv}iu)", s, NoOptions(), kLeft, 0u)));
  }
  close(fd);
  if (FILE* out = std::fopen(sends_file.c_str(), "a")) {
    for (long long us : sends) std::fprintf(out, "%lld\n", us);
    std::fclose(out);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: portal_clicks X Y  (then \"run COUNT PERIOD_MS SENDS_FILE\" lines on stdin)\n");
    return 2;
  }
  ConnectBus();
  int x0 = 0, y0 = 0;
  const std::uint32_t node = OpenSession(&x0, &y0);
  const double x = std::atof(argv[1]) - x0, y = std::atof(argv[2]) - y0;
  std::cout << "ready" << std::endl;
  RoundCommand round;
  while (NextRound(round)) {
    Round(round.count, round.period_ms, node, x, y, round.sends_file);
    std::cout << "done" << std::endl;
  }
  GVariant* closed = g_dbus_connection_call_sync(g_bus, kPortal, g_session.c_str(), "org.freedesktop.portal.Session",
                                                 "Close", nullptr, nullptr, G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, nullptr);
  if (closed != nullptr) g_variant_unref(closed);
  return 0;
}
