#include "platform/wayland/screencast/cursor_streams.h"

#include <glib-unix.h>
#include <glib.h>
#include <pipewire/pipewire.h>
#include <spa/buffer/meta.h>
#include <spa/param/video/format-utils.h>
#include <spa/pod/builder.h>

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace platform::wayland {

namespace {

// Room for the cursor metadata plus a bitmap of w x h RGBA pixels: the producer writes the
// sprite into the same block, so the block must fit the largest sprite it may send.
constexpr int CursorMetaSize(int w, int h) {
  return static_cast<int>(sizeof(spa_meta_cursor) + sizeof(spa_meta_bitmap)) + w * h * 4;
}

struct Event {
  enum Kind { kMoved, kLeft, kFailed } kind;
  std::size_t stream = 0;
  int x = 0;
  int y = 0;
  std::string reason;
};

}  // namespace

struct CursorStreams::Impl {
  struct Stream {
    Impl* owner = nullptr;
    std::size_t index = 0;
    pw_stream* stream = nullptr;
    spa_hook listener{};
    // What the caller last heard about this stream.
    bool inside = false;
    int x = 0;
    int y = 0;
    int width = 0;  // the negotiated frame size
    int height = 0;
  };

  explicit Impl(CursorEvents& events) : listener(events) {}

  CursorEvents& listener;

  pw_loop* loop = nullptr;
  pw_context* context = nullptr;
  pw_core* core = nullptr;
  spa_hook core_listener{};
  std::vector<std::unique_ptr<Stream>> streams;
  GSource* watch = nullptr;
  GSource* idle = nullptr;

  // PipeWire's callbacks only queue; the caller's run once pw_loop_iterate has returned.
  std::vector<Event> pending;
  bool broken = false;
  std::shared_ptr<bool> alive = std::make_shared<bool>(true);

  void Fail(std::string reason) {
    if (broken) return;
    broken = true;
    pending.push_back({Event::kFailed, 0, 0, 0, std::move(reason)});
  }

  void Report(Stream& s, bool inside, int x, int y) {
    if (broken) return;
    if (inside) {
      if (s.inside && s.x == x && s.y == y) return;
      s.inside = true;
      s.x = x;
      s.y = y;
      pending.push_back({Event::kMoved, s.index, x, y, {}});
    } else if (s.inside) {
      s.inside = false;
      pending.push_back({Event::kLeft, s.index, 0, 0, {}});
    }
  }

  // Hands the queued events to the caller. False once the caller destroyed us from a callback.
  bool Deliver() {
    if (pending.empty()) return true;
    std::shared_ptr<bool> still = alive;
    std::vector<Event> events;
    events.swap(pending);
    for (const Event& e : events) {
      switch (e.kind) {
        case Event::kMoved:
          listener.PointerAt(e.stream, e.x, e.y);
          break;
        case Event::kLeft:
          listener.PointerLeft(e.stream);
          break;
        case Event::kFailed:
          StopWatching();
          listener.StreamsFailed(e.reason);
          return *still;  // nothing follows a failure
      }
      if (!*still) return false;
    }
    return true;
  }

  void StopWatching() {
    if (watch) {
      g_source_destroy(watch);
      g_source_unref(watch);
      watch = nullptr;
    }
  }

  void LaterDeliver() {
    if (idle) return;
    idle = g_idle_source_new();
    g_source_set_callback(
        idle,
        [](gpointer data) -> gboolean {
          auto* self = static_cast<Impl*>(data);
          g_source_unref(self->idle);
          self->idle = nullptr;
          self->Deliver();
          return G_SOURCE_REMOVE;
        },
        this, nullptr);
    g_source_attach(idle, g_main_context_get_thread_default());
  }

  static gboolean OnLoopReady(gint, GIOCondition, gpointer data) {
    auto* self = static_cast<Impl*>(data);
    pw_loop_iterate(self->loop, 0);
    self->Deliver();  // may destroy self: touch nothing after it
    return G_SOURCE_CONTINUE;
  }

  static void OnCoreError(void* data, uint32_t id, int, int res, const char* message) {
    if (id != PW_ID_CORE) return;  // a stream's own errors arrive as its error state
    auto* self = static_cast<Impl*>(data);
    self->Fail(res == -EPIPE ? std::string("PipeWire disconnected")
                             : std::string("PipeWire error: ") + (message ? message : ""));
  }

  static void OnStateChanged(void* data, pw_stream_state old, pw_stream_state state,
                             const char* error) {
    auto* s = static_cast<Stream*>(data);
    if (state == PW_STREAM_STATE_ERROR) {
      s->owner->Fail("stream " + std::to_string(s->index) + ": " + (error ? error : "error"));
    } else if (state == PW_STREAM_STATE_UNCONNECTED && old != PW_STREAM_STATE_UNCONNECTED) {
      s->owner->Fail("stream " + std::to_string(s->index) + " ended");
    }
  }

  // The format is whatever the producer chose; all we add is the request for cursor metadata.
  static void OnParamChanged(void* data, uint32_t id, const spa_pod* param) {
    auto* s = static_cast<Stream*>(data);
    if (id != SPA_PARAM_Format || param == nullptr) return;
    spa_video_info_raw info{};
    if (spa_format_video_raw_parse(param, &info) >= 0) {
      s->width = static_cast<int>(info.size.width);
      s->height = static_cast<int>(info.size.height);
    }
    uint8_t buffer[256];
    spa_pod_builder b = SPA_POD_BUILDER_INIT(buffer, sizeof(buffer));
    const spa_pod* params[1];
    params[0] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
        &b, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta,
        SPA_PARAM_META_type, SPA_POD_Id(SPA_META_Cursor),
        SPA_PARAM_META_size, SPA_POD_CHOICE_RANGE_Int(CursorMetaSize(64, 64),
                                                      CursorMetaSize(1, 1),
                                                      CursorMetaSize(1024, 1024))));
    pw_stream_update_params(s->stream, params, 1);
  }

  // Only the metadata is read; the buffers go straight back so the producer never waits.
  static void OnProcess(void* data) {
    auto* s = static_cast<Stream*>(data);
    bool seen = false;
    bool inside = false;
    int x = 0;
    int y = 0;
    while (pw_buffer* b = pw_stream_dequeue_buffer(s->stream)) {
      auto* cursor = static_cast<spa_meta_cursor*>(
          spa_buffer_find_meta_data(b->buffer, SPA_META_Cursor, sizeof(spa_meta_cursor)));
      if (cursor) {
        seen = true;
        inside = spa_meta_cursor_is_valid(cursor);
        x = cursor->position.x;
        y = cursor->position.y;
      }
      pw_stream_queue_buffer(s->stream, b);
    }
    if (seen) s->owner->Report(*s, inside, x, y);
  }

  bool Connect(int fd);
  void OpenStreams(const std::vector<std::uint32_t>& nodes);
  void Watch();
};

namespace {

constexpr pw_core_events kCoreEvents = [] {
  pw_core_events e{};
  e.version = PW_VERSION_CORE_EVENTS;
  e.error = &CursorStreams::Impl::OnCoreError;
  return e;
}();

constexpr pw_stream_events kStreamEvents = [] {
  pw_stream_events e{};
  e.version = PW_VERSION_STREAM_EVENTS;
  e.state_changed = &CursorStreams::Impl::OnStateChanged;
  e.param_changed = &CursorStreams::Impl::OnParamChanged;
  e.process = &CursorStreams::Impl::OnProcess;
  return e;
}();

}  // namespace

CursorStreams::CursorStreams(int fd, const std::vector<std::uint32_t>& nodes, CursorEvents& events)
    : impl_(std::make_unique<Impl>(events)) {
  Impl& d = *impl_;
  pw_init(nullptr, nullptr);
  d.loop = pw_loop_new(nullptr);
  if (d.loop) d.context = pw_context_new(d.loop, nullptr, 0);
  if (!d.context) {
    if (fd >= 0) close(fd);
    d.Fail("PipeWire unavailable");
    d.LaterDeliver();
    return;
  }
  // Entered for our whole life, not just while iterating: a loop that no thread has entered
  // runs what libpipewire's data thread hands it (the streams' process calls) right away on
  // that thread, instead of queueing it for ours.
  pw_loop_enter(d.loop);
  if (d.Connect(fd)) d.OpenStreams(nodes);
  d.Watch();
}

bool CursorStreams::Impl::Connect(int fd) {
  core = fd >= 0 ? pw_context_connect_fd(context, fd, nullptr, 0) : pw_context_connect(context, nullptr, 0);
  if (!core) {
    Fail("cannot connect to PipeWire");
    return false;
  }
  pw_core_add_listener(core, &core_listener, &kCoreEvents, this);
  return true;
}

// Any raw video will do: the frames are never looked at, so the producer keeps its own format,
// size, rate and memory. No lower rate is asked for: mutter 43 then streams two monitors at
// that rate without end, even when nothing changes, where at its own rate it sends a frame only
// when something moved.
void CursorStreams::Impl::OpenStreams(const std::vector<std::uint32_t>& nodes) {
  uint8_t buffer[256];
  spa_pod_builder b = SPA_POD_BUILDER_INIT(buffer, sizeof(buffer));
  const spa_pod* params[1];
  params[0] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
      &b, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat, SPA_FORMAT_mediaType, SPA_POD_Id(SPA_MEDIA_TYPE_video),
      SPA_FORMAT_mediaSubtype, SPA_POD_Id(SPA_MEDIA_SUBTYPE_raw)));
  for (std::size_t i = 0; i < nodes.size() && !broken; ++i) {
    auto s = std::make_unique<Stream>();
    s->owner = this;
    s->index = i;
    s->stream = pw_stream_new(core, "tapwing-cursor",
                              pw_properties_new(PW_KEY_MEDIA_TYPE, "Video", PW_KEY_MEDIA_CATEGORY, "Capture",
                                                PW_KEY_MEDIA_ROLE, "Screen", nullptr));
    if (!s->stream) {
      Fail("cannot create stream " + std::to_string(i));
      break;
    }
    pw_stream_add_listener(s->stream, &s->listener, &kStreamEvents, s.get());
    // No MAP_BUFFERS: the frame memory stays unmapped, only the metadata is shared.
    const auto flags = static_cast<pw_stream_flags>(PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_DONT_RECONNECT);
    if (pw_stream_connect(s->stream, PW_DIRECTION_INPUT, nodes[i], flags, params, 1) < 0)
      Fail("cannot connect stream " + std::to_string(i));
    streams.push_back(std::move(s));
  }
}

void CursorStreams::Impl::Watch() {
  watch = g_unix_fd_source_new(pw_loop_get_fd(loop), G_IO_IN);
  g_source_set_callback(watch, G_SOURCE_FUNC(&Impl::OnLoopReady), this, nullptr);
  g_source_attach(watch, g_main_context_get_thread_default());
  if (!pending.empty()) LaterDeliver();
}

std::pair<int, int> CursorStreams::FrameSize(std::size_t stream) const {
  if (stream >= impl_->streams.size()) return {0, 0};
  const Impl::Stream& s = *impl_->streams[stream];
  return {s.width, s.height};
}

void CursorStreams::Pause(bool paused) {
  for (const auto& s : impl_->streams) pw_stream_set_active(s->stream, !paused);
}

CursorStreams::~CursorStreams() {
  Impl& d = *impl_;
  *d.alive = false;
  d.StopWatching();
  if (d.idle) {
    g_source_destroy(d.idle);
    g_source_unref(d.idle);
  }
  for (auto& s : d.streams) {
    spa_hook_remove(&s->listener);
    pw_stream_destroy(s->stream);
  }
  if (d.core) {
    spa_hook_remove(&d.core_listener);
    pw_core_disconnect(d.core);
  }
  if (d.context) {
    pw_loop_leave(d.loop);
    pw_context_destroy(d.context);
  }
  if (d.loop) pw_loop_destroy(d.loop);
}

}  // namespace platform::wayland
