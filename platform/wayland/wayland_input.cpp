#include "platform/wayland/wayland_input.h"

#include <cstdint>
#include <string>

namespace platform::wayland {

bool WaylandInput::ReadCursor(std::string& x, std::string& y) {
  PointerWay* way = ways_.Way();
  PointerReader* reader = ways_.Reader();
  if (way == nullptr || reader == nullptr) return false;
  const auto pointer = reader->ReadPointer(*way);
  if (!pointer) return false;
  x = std::to_string(pointer->first);
  y = std::to_string(pointer->second);
  return true;
}

void WaylandInput::MoveCursor(std::int32_t x, std::int32_t y) {
  PointerWay* way = ways_.Way();
  if (way == nullptr || !way->Move(x, y)) return;
  if (PointerReader* reader = ways_.Reader()) reader->Moved(x, y);
}

void WaylandInput::Click(int button, int times) {
  if (PointerWay* way = ways_.Way()) way->Click(button, times);
}

void WaylandInput::Scroll(int steps) {
  if (PointerWay* way = ways_.Way()) way->Scroll(steps);
}

}  // namespace platform::wayland
