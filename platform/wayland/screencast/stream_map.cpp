#include "platform/wayland/screencast/stream_map.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <utility>
#include <vector>

namespace platform::wayland {
namespace {

bool SameSize(const Rect& logical, int scale, std::pair<int, int> size) {
  const std::int64_t width = logical.width, height = logical.height;
  return (width * scale == size.first && height * scale == size.second) ||
         (width == size.first && height == size.second);
}

double Clamp(double value, double low, double high) { return std::max(low, std::min(value, high)); }

// A stream whose size is not negotiated yet comes as (0, 0): nothing on it can be placed.
bool Usable(const StreamArea& area) {
  return area.logical.width > 0 && area.logical.height > 0 && area.moveWidth > 0 && area.moveHeight > 0;
}

int ToInt(double value) {
  return static_cast<int>(Clamp(value, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

}  // namespace

std::vector<StreamArea> MapStreams(const std::vector<StreamInfo>& streams, const std::vector<Monitor>& monitors) {
  std::vector<bool> taken(monitors.size(), false);
  const auto take = [&](auto fits) -> const Monitor* {
    for (std::size_t i = 0; i < monitors.size(); ++i) {
      if (taken[i] || !fits(monitors[i])) continue;
      taken[i] = true;
      return &monitors[i];
    }
    return nullptr;
  };

  std::vector<StreamArea> areas;
  for (const StreamInfo& stream : streams) {
    const Monitor* monitor = nullptr;
    if (stream.position) {
      const auto [x, y] = *stream.position;
      monitor = take([&](const Monitor& m) { return m.logical.x == x && m.logical.y == y; });
    } else if (stream.size) {
      monitor = take([&](const Monitor& m) { return SameSize(m.logical, m.scale, *stream.size); });
    }
    if (monitor == nullptr) monitor = take([](const Monitor&) { return true; });

    StreamArea area{stream.node, {0, 0, 0, 0}, 0, 0, 0, 0};
    if (monitor != nullptr) area.logical = monitor->logical;
    if (stream.position && monitor == nullptr) {
      area.logical.x = stream.position->first;
      area.logical.y = stream.position->second;
    }
    if (stream.size) {
      area.width = stream.size->first;
      area.height = stream.size->second;
    } else {
      area.width = area.logical.width;
      area.height = area.logical.height;
    }
    if (area.logical.width <= 0 || area.logical.height <= 0) {
      area.logical.width = area.width;
      area.logical.height = area.height;
    }
    const bool logicalMoves = !stream.position;
    area.moveWidth = logicalMoves ? area.logical.width : area.width;
    area.moveHeight = logicalMoves ? area.logical.height : area.height;
    area.streamMoves = !logicalMoves;
    if (Usable(area)) areas.push_back(area);
  }
  return areas;
}

std::optional<StreamPoint> ToStream(const std::vector<StreamArea>& areas, double x, double y) {
  std::optional<StreamPoint> best;
  double bestDistance = std::numeric_limits<double>::infinity();
  for (std::size_t i = 0; i < areas.size(); ++i) {
    const Rect& r = areas[i].logical;
    if (!Usable(areas[i])) continue;
    // The last pixel of an area is width - 1: a point beyond it lands on the edge. In double: an
    // area far out must not overflow int.
    const double left = r.x, top = r.y;
    const double cx = Clamp(x, left, left + r.width - 1.0), cy = Clamp(y, top, top + r.height - 1.0);
    const double distance = std::hypot(cx - x, cy - y);
    if (distance >= bestDistance) continue;
    bestDistance = distance;
    best = StreamPoint{i, (cx - left) * areas[i].moveWidth / r.width, (cy - top) * areas[i].moveHeight / r.height};
  }
  return best;
}

StreamPoint InFramePixels(const StreamArea& area, StreamPoint point, std::pair<int, int> frame) {
  if (!area.streamMoves || frame.first <= 0 || frame.second <= 0) return point;
  return {point.stream, point.x * frame.first / area.moveWidth, point.y * frame.second / area.moveHeight};
}

std::pair<int, int> ToDesktop(const StreamArea& area, double x, double y, std::pair<int, int> frame) {
  const Rect& r = area.logical;
  const bool negotiated = frame.first > 0 && frame.second > 0;
  const double width = negotiated ? frame.first : area.width, height = negotiated ? frame.second : area.height;
  // The desktop pixel that holds the middle of the stream pixel: at a fractional scale the
  // desktop rounds a logical point to a stream pixel that may begin just before that point
  // (391 at 1.497 is stream pixel 585, which begins at 390.8).
  const double dx = width > 0 ? (x + 0.5) * r.width / width : x + 0.5;
  const double dy = height > 0 ? (y + 0.5) * r.height / height : y + 0.5;
  return {ToInt(std::floor(r.x + dx)), ToInt(std::floor(r.y + dy))};
}

}  // namespace platform::wayland
