// Follows the pointer through the cursor metadata of ScreenCast streams: the compositor sends
// the pointer's position with each buffer, so no frame is read or decoded. Runs on the GLib
// main loop of the thread that creates it (the thread-default main context).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace platform::wayland {

// What the streams tell. Every call comes from the loop, never from inside PipeWire, so the
// listener may destroy the CursorStreams.
class CursorEvents {
 public:
  virtual ~CursorEvents() = default;
  // Position in the stream's own pixels (stream-local), reported only when it changes.
  virtual void PointerAt(std::size_t stream, int x, int y) = 0;
  // The pointer left that stream (or was hidden), when the metadata says so.
  virtual void PointerLeft(std::size_t /*stream*/) {}
  // The PipeWire connection broke or a stream ended; nothing more follows.
  virtual void StreamsFailed(const std::string& reason) = 0;
};

class CursorStreams {
 public:
  // Takes ownership of `fd` (a PipeWire remote from OpenPipeWireRemote; -1 for the default
  // PipeWire socket). Each node id becomes one stream, index = position in `nodes`. A failure
  // to connect is reported too, from the loop.
  CursorStreams(int fd, const std::vector<std::uint32_t>& nodes, CursorEvents& events);
  ~CursorStreams();  // disconnects everything

  // The stream's frame size as PipeWire negotiated it, the space its cursor positions are in;
  // (0, 0) until then. The portal's own `size` of a stream is not always that space (Plasma 6
  // gives the logical size, the frames and positions are physical).
  std::pair<int, int> FrameSize(std::size_t stream) const;

  // A paused stream takes no buffers, and the compositor stops copying frames for it: GNOME's
  // copies cost it most of a core while a run keeps the screen changing.
  void Pause(bool paused);

  CursorStreams(const CursorStreams&) = delete;
  CursorStreams& operator=(const CursorStreams&) = delete;

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

}  // namespace platform::wayland
