#include "platform/wayland/wayland_input.h"

namespace platform::wayland {

// The streams' last word on the pointer answers at once; with none yet, the last point moved to.
void WaylandInput::ReadCursor(std::string& x, std::string& y) {
  const auto pointer = desktop_.Pointer();
  if (!pointer) return;
  x = std::to_string(pointer->first);
  y = std::to_string(pointer->second);
}

}  // namespace platform::wayland
