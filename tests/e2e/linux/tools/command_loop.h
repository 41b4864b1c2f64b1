// The input tools' stdin protocol: "ready" once the compositor has the device, then one "ok" per
// command once the compositor has handled it, so a test knows its input has arrived.
#pragma once

#include <wayland-client.h>

#include <cstdio>

inline int ServeCommands(wl_display* display, bool (*run)(const char* line)) {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  char line[256];
  std::puts(wl_display_roundtrip(display) < 0 ? "error connection" : "ready");
  while (std::fgets(line, sizeof line, stdin)) {
    if (!run(line)) {
      std::printf("error unknown command: %s", line);
      continue;
    }
    if (wl_display_roundtrip(display) < 0) {
      std::puts("error connection lost");
      return 6;
    }
    std::puts("ok");
  }
  return 0;
}
