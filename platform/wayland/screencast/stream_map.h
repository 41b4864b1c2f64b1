// Which part of the desktop each ScreenCast stream shows, and how a point of the desktop (the
// logical coordinates GDK gives monitors) maps to a stream's own pixels and back. GNOME gives each
// stream its `position` and `size`; KDE 5.27 gives only a physical `size` (2560x2048 for a
// 1280x1024 output at scale 2), so there a stream is matched to the monitor of that physical size.
// The pointer's position in the cursor metadata is in the stream's pixels on both. Moves are too
// on GNOME, but KDE 5.27 takes them in the monitor's logical pixels: a portal that gives no
// position is taken to be of that kind.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

namespace platform::wayland {

struct Rect {
  int x, y, width, height;
};

struct Monitor {
  Rect logical;
  int scale;  // physical pixels per logical one
};

struct StreamInfo {
  std::uint32_t node;
  std::optional<std::pair<int, int>> position;
  std::optional<std::pair<int, int>> size;
};

struct StreamArea {
  std::uint32_t node;
  Rect logical;               // where the stream lies on the desktop
  int width, height;          // the stream's own pixels
  int moveWidth, moveHeight;  // the space moves on the stream are given in
  bool streamMoves = false;   // that space is the stream's own pixels (GNOME)
};

// One area per stream, in the streams' order; a stream with no size to place points on is left out.
std::vector<StreamArea> MapStreams(const std::vector<StreamInfo>& streams, const std::vector<Monitor>& monitors);

struct StreamPoint {
  std::size_t stream;
  double x, y;
};

// The stream whose area holds the desktop point, and the point in the space moves on it take.
// A point beside every area goes to the nearest one, at its edge. Nothing without any area.
std::optional<StreamPoint> ToStream(const std::vector<StreamArea>& areas, double x, double y);

// Each stream's frame size as PipeWire negotiated it, (0, 0) while unknown.
class FrameSizes {
 public:
  virtual ~FrameSizes() = default;
  virtual std::pair<int, int> FrameSize(std::size_t stream) const = 0;
};

// A point ToStream gave, in the stream's negotiated frame pixels where its moves go in stream
// pixels: GNOME 48 gives a stream's logical size, and takes moves in its frame's pixels.
StreamPoint InFramePixels(const StreamArea& area, StreamPoint point, std::pair<int, int> frame);

// A point of a stream (in its pixels) back on the desktop: the desktop pixel it lies in, clamped
// to int's range. `frame` is the stream's negotiated frame size where known: the cursor
// metadata's space, which the portal's `size` may not be (Plasma 6: logical size, physical frames).
std::pair<int, int> ToDesktop(const StreamArea& area, double x, double y, std::pair<int, int> frame = {0, 0});

}  // namespace platform::wayland
