// wlr_clicks X Y WIDTH HEIGHT: the benchmark's reference clicker on wlroots compositors (sway).
// One zwlr_virtual_pointer_v1 device for the whole process (a device made per round would
// deliver nothing at first), says "ready" on stdout, then runs a round for each
// "run COUNT PERIOD_MS SENDS_FILE" line on stdin: a timerfd on a fixed CLOCK_MONOTONIC grid
// (absolute deadlines), each tick an absolute move to (X, Y) in the WIDTH x HEIGHT output
// layout, a left press and a release, each followed by a frame and a flush, as Tapwing sends
// them, with nothing else around it. The moment each press goes out is appended to SENDS_FILE
// (µs, one line each), then "done" on stdout. A tick later than a whole period fires once.

#include <unistd.h>
#include <wayland-client.h>

#include "wlr-virtual-pointer-unstable-v1-client-protocol.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iostream>
#include <string>
#include <vector>

#include "round_commands.h"
#include "timer_grid.h"

namespace {

constexpr std::uint32_t kLeft = 0x110;

zwlr_virtual_pointer_manager_v1* g_manager = nullptr;

void OnGlobal(void*, wl_registry* registry, std::uint32_t name, const char* interface, std::uint32_t) {
  if (std::strcmp(interface, zwlr_virtual_pointer_manager_v1_interface.name) == 0)
    g_manager = static_cast<zwlr_virtual_pointer_manager_v1*>(
        wl_registry_bind(registry, name, &zwlr_virtual_pointer_manager_v1_interface, 1));
}
void OnGlobalRemove(void*, wl_registry*, std::uint32_t) {}
const wl_registry_listener kRegistry{OnGlobal, OnGlobalRemove};

long long Micros() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return now.tv_sec * 1000000LL + now.tv_nsec / 1000;
}

std::uint32_t Millis() { return static_cast<std::uint32_t>(Micros() / 1000); }

struct Pointer {
  wl_display* display;
  zwlr_virtual_pointer_v1* device;
  std::uint32_t x, y, width, height;  // doubled: the pixel's centre, as Tapwing aims

  bool Frame() {
    zwlr_virtual_pointer_v1_frame(device);
    return wl_display_flush(display) >= 0;
  }
};

bool Round(Pointer& p, long count, long period_ms, const std::string& sends_file) {
  const int fd = OpenTimerGrid(period_ms);
  if (fd < 0) return false;
  std::vector<long long> sends;
  sends.reserve(static_cast<size_t>(count));
  bool ok = true;
  for (long done = 0; ok && done < count; ++done) {
    uint64_t expirations = 0;
    if (read(fd, &expirations, sizeof expirations) != sizeof expirations) {
      ok = false;
      break;
    }
    zwlr_virtual_pointer_v1_motion_absolute(p.device, Millis(), p.x, p.y, p.width, p.height);
    ok = ok && p.Frame();
    sends.push_back(Micros());
    zwlr_virtual_pointer_v1_button(p.device, Millis(), kLeft, WL_POINTER_BUTTON_STATE_PRESSED);
    ok = ok && p.Frame();
    zwlr_virtual_pointer_v1_button(p.device, Millis(), kLeft, WL_POINTER_BUTTON_STATE_RELEASED);
    ok = ok && p.Frame();
  }
  close(fd);
  if (FILE* out = std::fopen(sends_file.c_str(), "a")) {
    for (long long us : sends) std::fprintf(out, "%lld\n", us);
    std::fclose(out);
  }
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: wlr_clicks X Y WIDTH HEIGHT  (then \"run COUNT PERIOD_MS SENDS_FILE\" lines on stdin)\n");
    return 2;
  }
  const long x = std::atol(argv[1]), y = std::atol(argv[2]), width = std::atol(argv[3]), height = std::atol(argv[4]);
  if (width <= 0 || height <= 0 || x < 0 || y < 0 || x >= width || y >= height) {
    std::fprintf(stderr, "wlr_clicks: the point must lie in the layout\n");
    return 2;
  }
  wl_display* display = wl_display_connect(nullptr);
  if (display == nullptr) {
    std::cout << "error no Wayland display" << std::endl;
    return 3;
  }
  wl_registry* registry = wl_display_get_registry(display);
  wl_registry_add_listener(registry, &kRegistry, nullptr);
  wl_display_roundtrip(display);
  if (g_manager == nullptr) {
    std::cout << "error no zwlr_virtual_pointer_manager_v1" << std::endl;
    return 3;
  }
  Pointer p{display, zwlr_virtual_pointer_manager_v1_create_virtual_pointer(g_manager, nullptr),
            static_cast<std::uint32_t>(2 * x + 1), static_cast<std::uint32_t>(2 * y + 1),
            static_cast<std::uint32_t>(2 * width), static_cast<std::uint32_t>(2 * height)};
  // The device exists on the compositor's side before the first round.
  std::cout << (wl_display_roundtrip(display) < 0 ? "error connection" : "ready") << std::endl;
  RoundCommand round;
  while (NextRound(round)) {
    // The round trip: "done" once the compositor has handled the whole round.
    if (!Round(p, round.count, round.period_ms, round.sends_file) || wl_display_roundtrip(display) < 0) {
      std::cout << "error connection lost" << std::endl;
      return 4;
    }
    std::cout << "done" << std::endl;
  }
  zwlr_virtual_pointer_v1_destroy(p.device);
  zwlr_virtual_pointer_manager_v1_destroy(g_manager);
  wl_display_roundtrip(display);
  wl_display_disconnect(display);
  return 0;
}
