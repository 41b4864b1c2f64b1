// F7's source on a portal session with screen casts: the pointer's position from the streams'
// cursor metadata. While a run moves the pointer the streams rest (the compositor copies a
// whole frame into them for each click otherwise) and the position is the one moved to.
#pragma once

#include <glib.h>

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/wayland/pointer_way.h"
#include "platform/wayland/screencast/cursor_streams.h"
#include "platform/wayland/screencast/stream_map.h"

namespace platform::wayland {

class CastPointer : public PointerReader, public FrameSizes, private CursorEvents {
 public:
  // `lost`: told where the streams break, which ends the session.
  CastPointer(std::vector<StreamArea> areas, WayEvents& lost);
  ~CastPointer() override;
  CastPointer(const CastPointer&) = delete;
  CastPointer& operator=(const CastPointer&) = delete;

  // Opens the streams on the PipeWire remote the portal gave (owns `fd`).
  void Connect(int fd);
  const std::vector<StreamArea>& Areas() const { return areas_; }

  std::optional<std::pair<int, int>> ReadPointer(PointerWay& way) override;
  void Moved(double x, double y) override;
  std::pair<int, int> FrameSize(std::size_t stream) const override;

 private:
  void PointerAt(std::size_t stream, int x, int y) override;
  void StreamsFailed(const std::string& reason) override;
  static gboolean ResumeWhenStill(gpointer self);

  const std::vector<StreamArea> areas_;
  WayEvents& lost_;
  std::unique_ptr<CursorStreams> cursor_;
  static constexpr guint kResumeAfterMs = 200;
  guint resume_ = 0;  // the streams rest while this timer runs
  gint64 lastMove_ = 0;
  std::optional<std::pair<int, int>> pointer_;
  static constexpr gint64 kNudgeEveryUs = 300000;
  gint64 lastNudge_ = 0;
};

}  // namespace platform::wayland
