// Where a point of the desktop lands among the regions of a libei device. A region is one
// output as libei describes it: its offset and size in the desktop's logical pixels, and the
// physical scale (which placement does not need: moves are logical). Kept free of libei's types.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace platform::wayland {

struct EiRegion {
  std::uint32_t x, y, width, height;
  double scale;
};

struct EiPlacement {
  std::size_t region;  // index into the regions given
  double x, y;         // desktop coordinates, inside that region
};

// The region holding the point ([x, x + width) on each axis), else the nearest one with the
// point clamped to its last pixel (x + width - 1). Nothing without regions or for a point that
// is not a number; empty regions are skipped.
std::optional<EiPlacement> PlaceInRegions(const std::vector<EiRegion>& regions, double x, double y);

}  // namespace platform::wayland
