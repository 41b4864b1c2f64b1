// wlr_virtual_pointer WIDTH HEIGHT: a wlroots virtual pointer for the tests (sway), one command
// per stdin line, as kwin_fake_input takes them:
//   move X Y          pointer to a point of the output layout, whose size is WIDTH x HEIGHT
//   button CODE 0|1   evdev button code (272 left, 273 right, 274 middle), released/pressed
//   axis 0 VALUE      vertical wheel; 15 is one notch
// Each line is answered "ok" once the compositor has handled it (a round trip), or "error ...".
// One long-lived process keeps one device: that gives the seat its pointer, and a device made
// per event would deliver nothing.

#include <wayland-client.h>

#include "wlr-virtual-pointer-unstable-v1-client-protocol.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "command_loop.h"

namespace {

zwlr_virtual_pointer_manager_v1* g_manager = nullptr;
zwlr_virtual_pointer_v1* g_pointer = nullptr;
unsigned g_width = 0, g_height = 0;

void OnGlobal(void*, wl_registry* registry, uint32_t name, const char* interface, uint32_t) {
  if (std::strcmp(interface, zwlr_virtual_pointer_manager_v1_interface.name) == 0) {
    g_manager = static_cast<zwlr_virtual_pointer_manager_v1*>(
        wl_registry_bind(registry, name, &zwlr_virtual_pointer_manager_v1_interface, 1));
  }
}

void OnGlobalRemove(void*, wl_registry*, uint32_t) {}

const wl_registry_listener kRegistry{OnGlobal, OnGlobalRemove};

uint32_t Now() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<uint32_t>(now.tv_sec * 1000 + now.tv_nsec / 1000000);
}

bool Run(const char* line) {
  unsigned x = 0, y = 0, code = 0, state = 0;
  int value = 0;
  if (std::sscanf(line, "move %u %u", &x, &y) == 2) {
    // Twice the extents: the point lands at the pixel's centre, safe from rounding.
    zwlr_virtual_pointer_v1_motion_absolute(g_pointer, Now(), 2 * x + 1, 2 * y + 1, 2 * g_width, 2 * g_height);
  } else if (std::sscanf(line, "button %u %u", &code, &state) == 2) {
    zwlr_virtual_pointer_v1_button(g_pointer, Now(), code, state);
  } else if (std::sscanf(line, "axis 0 %d", &value) == 1) {
    zwlr_virtual_pointer_v1_axis_source(g_pointer, WL_POINTER_AXIS_SOURCE_WHEEL);
    zwlr_virtual_pointer_v1_axis_discrete(g_pointer, Now(), WL_POINTER_AXIS_VERTICAL_SCROLL, wl_fixed_from_int(value),
                                          value / 15);
  } else {
    return false;
  }
  zwlr_virtual_pointer_v1_frame(g_pointer);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 || (g_width = std::strtoul(argv[1], nullptr, 10)) == 0 ||
      (g_height = std::strtoul(argv[2], nullptr, 10)) == 0) {
    std::fprintf(stderr, "usage: wlr_virtual_pointer WIDTH HEIGHT\n");
    return 2;
  }
  wl_display* display = wl_display_connect(nullptr);
  if (!display) {
    std::fprintf(stderr, "wlr_virtual_pointer: no Wayland display\n");
    return 4;
  }
  wl_registry* registry = wl_display_get_registry(display);
  wl_registry_add_listener(registry, &kRegistry, nullptr);
  wl_display_roundtrip(display);
  if (!g_manager) {
    std::fprintf(stderr, "wlr_virtual_pointer: the compositor offers no zwlr_virtual_pointer_manager_v1\n");
    return 5;
  }
  g_pointer = zwlr_virtual_pointer_manager_v1_create_virtual_pointer(g_manager, nullptr);
  return ServeCommands(display, &Run);
}
