#include "platform/wayland/click_ways.h"

#include <cstdint>
#include <cstdlib>

#include "platform/wayland/ei/ei_way.h"

namespace platform::wayland {

Clicks ChooseClicks(const ClickFacts& facts) {
  return facts.portalVersion >= 2 && facts.libeiBuilt && !facts.libeiSwitchedOff ? Clicks::Libei : Clicks::Notify;
}

ClickFacts ClickFactsHere(std::uint32_t portalVersion) {
  const char* off = std::getenv("TAPWING_NO_LIBEI");
  return {portalVersion, LibeiBuiltIn(), off != nullptr && *off != '\0'};
}

}  // namespace platform::wayland
