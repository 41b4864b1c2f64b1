#include "platform/wayland/screencast/cast_pointer.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace platform::wayland {

CastPointer::CastPointer(std::vector<StreamArea> areas, WayEvents& lost) : areas_(std::move(areas)), lost_(lost) {}

CastPointer::~CastPointer() {
  if (resume_ != 0) g_source_remove(resume_);
}

void CastPointer::Connect(int fd) {
  std::vector<std::uint32_t> nodes;
  for (const StreamArea& area : areas_) nodes.push_back(area.node);
  cursor_ = std::make_unique<CursorStreams>(fd, nodes, static_cast<CursorEvents&>(*this));
}

void CastPointer::PointerAt(std::size_t stream, int x, int y) {
  if (stream >= areas_.size()) return;
  pointer_ = ToDesktop(areas_[stream], x, y, cursor_->FrameSize(stream));
  reported_ = g_get_monotonic_time();
}

// Without its screen casts the session is gone too, whether or not the desktop says Closed
// (GNOME 43 may not).
void CastPointer::StreamsFailed(const std::string& reason) { lost_.WayLost(kClosed, "屏幕共享已中断: " + reason); }

std::pair<int, int> CastPointer::FrameSize(std::size_t stream) const {
  return cursor_ ? cursor_->FrameSize(stream) : std::pair{0, 0};
}

std::optional<std::pair<int, int>> CastPointer::ReadPointer(PointerWay& way) {
  if (resume_ != 0) return pointer_;  // a run holds the pointer where it moved it
  const gint64 now = g_get_monotonic_time();
  if (asked_ == 0 || now - lastRead_ >= kSameAskUs) asked_ = now;
  lastRead_ = now;
  if (!pointer_) {
    // The screen casts show the pointer only when it moves: just after they start, until the
    // hand moves it, nothing says where it is. A step there and back makes them show it.
    if (cursor_ && now - lastNudge_ >= kNudgeEveryUs) {
      lastNudge_ = now;
      way.Nudge();
    }
    return std::nullopt;
  }
  const bool settled = now - asked_ >= kSettleUs && now - reported_ >= kQuietUs;
  if (!settled && now - asked_ < kBusyUs) return std::nullopt;
  return pointer_;
}

void CastPointer::Moved(double x, double y) {
  lastMove_ = g_get_monotonic_time();
  if (cursor_ && resume_ == 0) {
    cursor_->Pause(true);
    resume_ = g_timeout_add(kResumeAfterMs, &CastPointer::ResumeWhenStill, this);
  }
  if (resume_ != 0) pointer_ = std::make_pair(static_cast<int>(x), static_cast<int>(y));
}

gboolean CastPointer::ResumeWhenStill(gpointer data) {
  auto* self = static_cast<CastPointer*>(data);
  if (g_get_monotonic_time() - self->lastMove_ < kResumeAfterMs * 1000) return G_SOURCE_CONTINUE;
  self->resume_ = 0;
  if (self->cursor_) self->cursor_->Pause(false);
  return G_SOURCE_REMOVE;
}

}  // namespace platform::wayland
