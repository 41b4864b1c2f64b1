#include "platform/wayland/ei/ei_regions.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <optional>
#include <vector>

namespace platform::wayland {

namespace {

// How far `v` lies outside [low, low + size): 0 inside.
double Outside(double v, double low, double size) {
  if (v < low) return low - v;
  if (v >= low + size) return v - (low + size - 1);
  return 0;
}

}  // namespace

std::optional<EiPlacement> PlaceInRegions(const std::vector<EiRegion>& regions, double x, double y) {
  if (std::isnan(x) || std::isnan(y)) return std::nullopt;
  std::optional<EiPlacement> best;
  double bestDistance = 0;
  for (std::size_t i = 0; i < regions.size(); ++i) {
    const EiRegion& r = regions[i];
    if (r.width == 0 || r.height == 0) continue;
    const double left = r.x, top = r.y, width = r.width, height = r.height;  // uint32 sums overflow
    const double dx = Outside(x, left, width), dy = Outside(y, top, height);
    // Halved: hypot of two distances near double's maximum would overflow.
    const double distance = std::hypot(dx / 2, dy / 2);
    if (best && distance >= bestDistance) continue;
    best = EiPlacement{i, std::clamp(x, left, left + width - 1), std::clamp(y, top, top + height - 1)};
    bestDistance = distance;
    if (distance == 0) {
      best->x = x;  // inside: the point as given, fractions and all
      best->y = y;
      break;
    }
  }
  return best;
}

}  // namespace platform::wayland
