// Which way a portal session's clicks take, chosen in one place: through libei where the portal
// offers ConnectToEIS (RemoteDesktop version 2) and Tapwing was built with libei, else as the
// portal's Notify calls. TAPWING_NO_LIBEI keeps the Notify calls, for troubleshooting.
#pragma once

#include <cstdint>

namespace platform::wayland {

enum class Clicks { Libei, Notify };

struct ClickFacts {
  std::uint32_t portalVersion;  // RemoteDesktop's
  bool libeiBuilt;
  bool libeiSwitchedOff;
};

Clicks ChooseClicks(const ClickFacts& facts);
// The facts of this program and its environment.
ClickFacts ClickFactsHere(std::uint32_t portalVersion);

}  // namespace platform::wayland
