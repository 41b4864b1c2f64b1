// cursor_probe [--fd N] NODE...: follows the pointer through the cursor metadata of the given
// PipeWire ScreenCast nodes (stream index = argument order) and prints one line per event,
// written at once:
//   <CLOCK_MONOTONIC in microseconds> moved <stream> <x> <y>
//   <CLOCK_MONOTONIC in microseconds> left <stream>
//   <CLOCK_MONOTONIC in microseconds> failed <reason>      (then exits 1)
// Uses the default PipeWire socket unless --fd passes an inherited PipeWire remote.
// SIGTERM or SIGINT ends it cleanly (exit 0).

#include "platform/wayland/screencast/cursor_streams.h"

#include <glib-unix.h>
#include <glib.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

namespace {

long long MonotonicMicros() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return now.tv_sec * 1000000LL + now.tv_nsec / 1000;
}

struct Printer : platform::wayland::CursorEvents {
  Printer(GMainLoop* loop, int& status) : loop(loop), status(status) {}
  void PointerAt(std::size_t stream, int x, int y) override {
    std::printf("%lld moved %zu %d %d\n", MonotonicMicros(), stream, x, y);
  }
  void PointerLeft(std::size_t stream) override { std::printf("%lld left %zu\n", MonotonicMicros(), stream); }
  void StreamsFailed(const std::string& reason) override {
    std::printf("%lld failed %s\n", MonotonicMicros(), reason.c_str());
    status = 1;
    g_main_loop_quit(loop);
  }
  GMainLoop* loop;
  int& status;
};

}  // namespace

int main(int argc, char** argv) {
  int fd = -1;
  std::vector<std::uint32_t> nodes;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--fd") == 0 && i + 1 < argc) {
      fd = std::atoi(argv[++i]);
    } else {
      nodes.push_back(static_cast<std::uint32_t>(std::strtoul(argv[i], nullptr, 10)));
    }
  }
  if (nodes.empty()) {
    std::fprintf(stderr, "usage: %s [--fd N] NODE...\n", argv[0]);
    return 2;
  }
  std::setvbuf(stdout, nullptr, _IOLBF, 0);

  GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
  int status = 0;
  auto quit = [](gpointer data) -> gboolean {
    g_main_loop_quit(static_cast<GMainLoop*>(data));
    return G_SOURCE_CONTINUE;
  };
  g_unix_signal_add(SIGTERM, quit, loop);
  g_unix_signal_add(SIGINT, quit, loop);

  Printer printer{loop, status};
  auto streams = std::make_unique<platform::wayland::CursorStreams>(fd, nodes, printer);
  g_main_loop_run(loop);
  streams.reset();
  g_main_loop_unref(loop);
  return status;
}
