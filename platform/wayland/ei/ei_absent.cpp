// Built where libei is not found (Debian 12): the portal's clicks go as its Notify calls.
#include <unistd.h>

#include <memory>

#include "platform/wayland/ei/ei_way.h"

namespace platform::wayland {

bool LibeiBuiltIn() { return false; }

std::unique_ptr<PointerWay> OpenEiWay(int fd, WayEvents&) {
  if (fd >= 0) close(fd);
  return nullptr;
}

}  // namespace platform::wayland
