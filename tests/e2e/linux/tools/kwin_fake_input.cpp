// kwin_fake_input: KWin's org_kde_kwin_fake_input for the tests, one command per stdin line:
//   move X Y          pointer to a desktop logical point
//   button CODE 0|1   evdev button code (272 left, 273 right, 274 middle), released/pressed
//   axis AXIS VALUE   0 vertical, 1 horizontal; 15 is one wheel notch
//   key CODE 0|1      evdev key code (63 F5, 64 F6, 65 F7), released/pressed
// Each line is answered "ok" once KWin has handled it (a round trip), or "error ...".
// One long-lived process keeps one device, and the answers let the harness wait for delivery.
// KWin accepts the interface from test clients with KWIN_WAYLAND_NO_PERMISSION_CHECKS=1.

#include <wayland-client.h>

#include "fake-input-client-protocol.h"

#include <cstdio>
#include <cstring>

#include "command_loop.h"

namespace {

org_kde_kwin_fake_input* g_fake = nullptr;

void OnGlobal(void*, wl_registry* registry, uint32_t name, const char* interface, uint32_t version) {
  if (std::strcmp(interface, org_kde_kwin_fake_input_interface.name) == 0 && version >= 4) {
    g_fake = static_cast<org_kde_kwin_fake_input*>(
        wl_registry_bind(registry, name, &org_kde_kwin_fake_input_interface, 4));
  }
}

void OnGlobalRemove(void*, wl_registry*, uint32_t) {}

const wl_registry_listener kRegistry{OnGlobal, OnGlobalRemove};

bool Run(const char* line) {
  double x = 0, y = 0;
  unsigned code = 0, state = 0;
  if (std::sscanf(line, "move %lf %lf", &x, &y) == 2) {
    org_kde_kwin_fake_input_pointer_motion_absolute(g_fake, wl_fixed_from_double(x), wl_fixed_from_double(y));
  } else if (std::sscanf(line, "button %u %u", &code, &state) == 2) {
    org_kde_kwin_fake_input_button(g_fake, code, state);
  } else if (std::sscanf(line, "axis %u %lf", &code, &x) == 2) {
    org_kde_kwin_fake_input_axis(g_fake, code, wl_fixed_from_double(x));
  } else if (std::sscanf(line, "key %u %u", &code, &state) == 2) {
    org_kde_kwin_fake_input_keyboard_key(g_fake, code, state);
  } else {
    return false;
  }
  return true;
}

}  // namespace

int main() {
  wl_display* display = wl_display_connect(nullptr);
  if (!display) {
    std::fprintf(stderr, "kwin_fake_input: no Wayland display\n");
    return 4;
  }
  wl_registry* registry = wl_display_get_registry(display);
  wl_registry_add_listener(registry, &kRegistry, nullptr);
  wl_display_roundtrip(display);
  if (!g_fake) {
    std::fprintf(stderr, "kwin_fake_input: the compositor offers no org_kde_kwin_fake_input v4\n");
    return 5;
  }
  org_kde_kwin_fake_input_authenticate(g_fake, "Tapwing tests", "drives the e2e tests");
  return ServeCommands(display, &Run);
}
