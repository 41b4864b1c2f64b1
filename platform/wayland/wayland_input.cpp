#include "platform/wayland/wayland_input.h"

namespace platform::wayland {

// The streams' last word on the pointer answers at once.
bool WaylandInput::ReadCursor(std::string& x, std::string& y) {
  const auto pointer = desktop_.Pointer();
  if (!pointer) return false;
  x = std::to_string(pointer->first);
  y = std::to_string(pointer->second);
  return true;
}

}  // namespace platform::wayland
