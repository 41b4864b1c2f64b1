// Clicks through libei, on the socket the RemoteDesktop portal's ConnectToEIS gives: events go
// straight to the compositor, in order and framed together, with no round trip per event, and
// each move lands in the region (an output, as the compositor itself describes it) that holds
// the point. Built where libei is found.
#pragma once

#include <memory>

#include "platform/wayland/pointer_way.h"

namespace platform::wayland {

// Whether this program was built with libei.
bool LibeiBuiltIn();

// Owns `fd`. `events` hears when the desktop's devices are ready and when they are lost; a
// desktop that offers no usable pointer within 5 s loses it too. Null where built without libei.
std::unique_ptr<PointerWay> OpenEiWay(int fd, WayEvents& events);

}  // namespace platform::wayland
