#include "platform/wayland/wayland_input.h"

#include <optional>
#include <string>

namespace platform::wayland {

bool WaylandInput::ReadCursor(std::string& x, std::string& y) {
  PointerWay* way = way_();
  const auto pointer = way != nullptr ? way->ReadPointer() : std::nullopt;
  if (!pointer) return false;
  x = std::to_string(pointer->first);
  y = std::to_string(pointer->second);
  return true;
}

}  // namespace platform::wayland
