// A GUID with the platform's layout, usable without <windows.h>.
#pragma once

#include <cstdint>

namespace platform {

struct Guid {
  std::uint32_t data1;
  std::uint16_t data2;
  std::uint16_t data3;
  std::uint8_t data4[8];

  friend constexpr bool operator==(const Guid&, const Guid&) = default;
};
static_assert(sizeof(Guid) == 16);

}  // namespace platform
