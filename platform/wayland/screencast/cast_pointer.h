// F7's source on a portal session with screen casts: the pointer's position from the streams'
// cursor metadata. The metadata of a move comes a frame or more after it, so an F7 answers once
// the reports have settled after the press: a pointer moved just before it is where its last
// report says. While a run moves the pointer the streams rest (the compositor copies a whole
// frame into them for each click otherwise) and the position is the one moved to.
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
  gint64 reported_ = 0;  // when pointer_ came from the streams
  // Reads closer together than this are one F7 still waiting (Form1 reads at each 10 ms poll).
  static constexpr gint64 kSameAskUs = 100000;
  // An F7 answers once this long has passed since it was pressed, time for a move made just
  // before it to be reported, and no report has come for kQuietUs; a pointer that keeps moving
  // is read kBusyUs after the press.
  static constexpr gint64 kSettleUs = 150000, kQuietUs = 40000, kBusyUs = 500000;
  gint64 asked_ = 0;
  gint64 lastRead_ = 0;
  static constexpr gint64 kNudgeEveryUs = 300000;
  gint64 lastNudge_ = 0;
};

}  // namespace platform::wayland
