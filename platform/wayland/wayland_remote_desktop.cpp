#include "platform/wayland/wayland_remote_desktop.h"

#include <gdk/gdk.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/input_device.h"
#include "platform/wayland/wayland_cursor_streams.h"
#include "platform/wayland/wayland_restore_token.h"
#if defined(TAPWING_HAVE_LIBEI)
#include "platform/wayland/ei_pointer.h"
#else
namespace platform::wayland {
class EiPointer {};  // built without libei: there is never one
}  // namespace platform::wayland
#endif

namespace platform::wayland {
namespace {

constexpr const char* kRemoteDesktop = "org.freedesktop.portal.RemoteDesktop";
constexpr const char* kScreenCast = "org.freedesktop.portal.ScreenCast";
constexpr const char* kSession = "org.freedesktop.portal.Session";

constexpr std::uint32_t kPointer = 2;        // device types
constexpr std::uint32_t kMonitor = 1;        // source types
constexpr std::uint32_t kCursorMetadata = 4;
constexpr std::uint32_t kPersistUntilRevoked = 2;

enum Failure : std::int64_t {
  kNoPortal = 1, kNoRemoteDesktop, kDenied, kRefused, kNoPointer, kClosed, kCallFailed, kUnreachable, kUnreadable
};

constexpr const char* kWhoHasIt = "GNOME 和 KDE Plasma 提供远程桌面门户";

std::vector<Monitor> DesktopMonitors() {
  std::vector<Monitor> monitors;
  GdkDisplay* display = gdk_display_get_default();
  for (int i = 0; display != nullptr && i < gdk_display_get_n_monitors(display); ++i) {
    GdkMonitor* monitor = gdk_display_get_monitor(display, i);
    GdkRectangle geometry;
    gdk_monitor_get_geometry(monitor, &geometry);
    monitors.push_back({{geometry.x, geometry.y, geometry.width, geometry.height}, gdk_monitor_get_scale_factor(monitor)});
  }
  return monitors;
}

// The file descriptor a (h) reply hands over, or -1.
int TakeFd(GVariant* reply, GUnixFDList* fds) {
  if (reply == nullptr || fds == nullptr) return -1;
  gint32 index = -1;
  g_variant_get(reply, "(h)", &index);
  if (index < 0 || index >= g_unix_fd_list_get_length(fds)) return -1;
  return g_unix_fd_list_get(fds, index, nullptr);
}

std::optional<std::pair<int, int>> Pair(GVariant* properties, const char* key) {
  std::int32_t a = 0, b = 0;
  if (!g_variant_lookup(properties, key, "(ii)", &a, &b)) return std::nullopt;
  return std::make_pair(int{a}, int{b});
}

}  // namespace

bool ClicksThroughLibei(std::uint32_t version) {
#if defined(TAPWING_HAVE_LIBEI)
  const char* off = std::getenv("TAPWING_NO_LIBEI");
  return version >= 2 && (off == nullptr || *off == '\0');
#else
  static_cast<void>(version);
  return false;
#endif
}

RemoteDesktop::RemoteDesktop(Portal& portal, Lost lost, Ready ready)
    : portal_(portal), lost_(std::move(lost)), ready_(std::move(ready)) {}

RemoteDesktop::~RemoteDesktop() { End(); }

void RemoteDesktop::Ask(std::uint32_t version) {
  if (state_ != State::Idle) return;
  state_ = State::Asking;
  if (version > 0) version_ = version;
  if (version_ > 0) return CreateSession();  // known already: no second question at start-up
  const unsigned generation = generation_;
  portal_.Version(kRemoteDesktop, [this, generation](std::uint32_t version, const std::string& error) {
    if (generation != generation_) return;
    if (!error.empty()) return Fail(kNoPortal, "找不到桌面门户服务 (xdg-desktop-portal): " + error + "; " + kWhoHasIt);
    if (version == 0)
      return Fail(kNoRemoteDesktop, std::string("桌面门户没有远程桌面接口 (org.freedesktop.portal.RemoteDesktop); ") + kWhoHasIt);
    version_ = version;
    CreateSession();
  });
}

// Whether a step was granted; otherwise the session ends here with the reason.
bool RemoteDesktop::Granted(const PortalAnswer& answer, const char* step) {
  if (!answer.error.empty()) {
    Fail(kRefused, std::string(step) + " 失败: " + answer.error);
    return false;
  }
  if (answer.response == 1) {
    Fail(kDenied, "用户没有允许远程控制");
    return false;
  }
  if (answer.response != 0) {
    Fail(kRefused, std::string("桌面门户拒绝了请求 (") + step + ")");
    return false;
  }
  return true;
}

void RemoteDesktop::CreateSession() {
  const unsigned generation = generation_;
  GVariant* options = Options({{"session_handle_token", g_variant_new_string(portal_.NewToken().c_str())}});
  request_ = portal_.Request(kRemoteDesktop, "CreateSession", g_variant_new("(@a{sv})", options),
                             [this, generation](const PortalAnswer& answer) {
                               if (generation != generation_ || !Granted(answer, "CreateSession")) return;
                               auto handle = SessionHandle(answer.results);
                               if (!handle) return Fail(kRefused, Malformed("CreateSession"));
                               session_ = std::move(*handle);
                               closed_ = portal_.OnObjectSignal(session_, kSession, "Closed", [this](GVariant*) {
                                 Fail(kClosed, "远程桌面会话已被桌面结束");
                               });
                               SelectDevices();
                             });
}

void RemoteDesktop::SelectDevices() {
  GVariantBuilder options;
  g_variant_builder_init(&options, G_VARIANT_TYPE_VARDICT);
  g_variant_builder_add(&options, "{sv}", "types", g_variant_new_uint32(kPointer));
  // Version 2 keeps the permission: without it the dialog would come back at every start.
  if (version_ >= 2) {
    g_variant_builder_add(&options, "{sv}", "persist_mode", g_variant_new_uint32(kPersistUntilRevoked));
    const std::string restore = ReadRestoreToken(RestoreTokenFile());
    if (!restore.empty()) g_variant_builder_add(&options, "{sv}", "restore_token", g_variant_new_string(restore.c_str()));
  }
  const unsigned generation = generation_;
  request_ = portal_.Request(kRemoteDesktop, "SelectDevices",
                             g_variant_new("(o@a{sv})", session_.c_str(), g_variant_builder_end(&options)),
                             [this, generation](const PortalAnswer& answer) {
                               if (generation != generation_ || !Granted(answer, "SelectDevices")) return;
                               if (castScreens_) return SelectSources();
                               Start();
                             });
}

void RemoteDesktop::SelectSources() {
  GVariant* options = Options({{"types", g_variant_new_uint32(kMonitor)},
                               {"multiple", g_variant_new_boolean(TRUE)},
                               {"cursor_mode", g_variant_new_uint32(kCursorMetadata)}});
  const unsigned generation = generation_;
  request_ = portal_.Request(kScreenCast, "SelectSources", g_variant_new("(o@a{sv})", session_.c_str(), options),
                             [this, generation](const PortalAnswer& answer) {
                               if (generation == generation_ && Granted(answer, "SelectSources")) Start();
                             });
}

void RemoteDesktop::Start() {
  const unsigned generation = generation_;
  request_ = portal_.Request(kRemoteDesktop, "Start", g_variant_new("(os@a{sv})", session_.c_str(), "", Options({})),
                             [this, generation](const PortalAnswer& answer) {
                               if (generation != generation_) return;
                               if (CastsNoScreens(answer)) return;
                               if (Granted(answer, "Start")) Started(answer.results);
                             });
}

// A desktop that cannot cast its screens refuses the whole session (KWin 6 without OpenGL, as
// in virtual machines without a GPU). Clicks through libei need no screen cast, so the session
// is asked for again without one; F7 then cannot read the pointer.
bool RemoteDesktop::CastsNoScreens(const PortalAnswer& answer) {
  if (!castScreens_ || answer.response != 2 || !answer.error.empty() || !ClicksThroughLibei(version_)) return false;
  std::fprintf(stderr, "tapwing: 桌面不能共享屏幕, 远程桌面会话改为不带屏幕共享: F7 读不到指针的位置\n");
  castScreens_ = false;
  End();
  Ask();
  return true;
}

void RemoteDesktop::Started(GVariant* results) {
  std::uint32_t devices = 0;
  g_variant_lookup(results, "devices", "u", &devices);
  if ((devices & kPointer) == 0) return Fail(kNoPointer, "没有得到指针的控制权 (请允许远程交互)");
  const gchar* restore = nullptr;
  if (g_variant_lookup(results, "restore_token", "&s", &restore)) SaveRestoreToken(RestoreTokenFile(), restore);

  std::vector<StreamInfo> streams;
  GVariant* list = g_variant_lookup_value(results, "streams", G_VARIANT_TYPE("a(ua{sv})"));
  if (list != nullptr) {
    GVariantIter iter;
    g_variant_iter_init(&iter, list);
    std::uint32_t node = 0;
    GVariant* properties = nullptr;
    while (g_variant_iter_next(&iter, "(u@a{sv})", &node, &properties)) {
      streams.push_back({node, Pair(properties, "position"), Pair(properties, "size")});
      g_variant_unref(properties);
    }
    g_variant_unref(list);
  }
  if (!castScreens_) return ConnectToEis();  // libei's regions place the moves
  areas_ = MapStreams(streams, DesktopMonitors());
  if (areas_.empty()) return Fail(kRefused, "桌面门户没有给出屏幕");
  // KDE Plasma 5.27's portal (version 1, streams without a position) lands every move on its last
  // output, whichever stream the move names (measured with two outputs).
  lastOnly_ = version_ < 2 && areas_.size() > 1 &&
              std::none_of(streams.begin(), streams.end(), [](const StreamInfo& s) { return s.position.has_value(); });
  OpenCursorStreams();
  if (ClicksThroughLibei(version_)) return ConnectToEis();
  ClickByNotifyCalls();
}

void RemoteDesktop::ClickByNotifyCalls() {
  notify_ = std::make_unique<NotifyCalls>(portal_, session_, [this](const std::string& error) {
    Fail(kCallFailed, "远程桌面调用失败: " + error);
  });
  BeReady("点击经门户的 Notify 调用, F7 读屏幕共享里的指针");
}

void RemoteDesktop::BeReady(const char* way) {
  state_ = State::Ready;
  if (ready_) ready_(way);
}

// libei's events go straight to the compositor, in order and framed together: no round trip
// per event. A portal that cannot connect leaves the clicks to the Notify calls.
void RemoteDesktop::ConnectToEis() {
#if defined(TAPWING_HAVE_LIBEI)
  const unsigned generation = generation_;
  portal_.Call(
      kRemoteDesktop, "ConnectToEIS", g_variant_new("(o@a{sv})", session_.c_str(), Options({})),
      [this, generation](const std::string& error, GVariant* reply, GUnixFDList* fds) {
        if (generation != generation_) return;
        const int fd = error.empty() ? TakeFd(reply, fds) : -1;
        if (fd < 0 && !castScreens_) return Fail(kRefused, "桌面门户没有接上 libei: " + error);
        if (fd < 0) {
          std::fprintf(stderr, "tapwing: 桌面门户没有接上 libei (%s), 点击改用门户的 Notify 调用\n", error.c_str());
          return ClickByNotifyCalls();
        }
        // A desktop that connects but offers no pointer would leave the question open for ever.
        eiWait_ = g_timeout_add_seconds(kEiWaitSeconds, [](gpointer data) -> gboolean {
          auto* self = static_cast<RemoteDesktop*>(data);
          self->eiWait_ = 0;
          self->Fail(kNoPointer, "libei 没有给出可用的指针设备");
          return G_SOURCE_REMOVE;
        }, this);
        ei_ = std::make_unique<EiPointer>(
            fd,
            [this, generation] {
              if (generation != generation_ || state_ == State::Ready) return;
              if (eiWait_ != 0) g_source_remove(std::exchange(eiWait_, 0));
              BeReady(castScreens_ ? "点击经 libei (ConnectToEIS), F7 读屏幕共享里的指针"
                                   : "点击经 libei (ConnectToEIS), 不带屏幕共享: F7 读不到指针的位置");
            },
            [this, generation](const std::string& reason) {
              if (generation == generation_) Fail(kClosed, reason);
            });
      },
      G_VARIANT_TYPE("(h)"));
#else
  ClickByNotifyCalls();
#endif
}

// F7's position comes from the streams' cursor metadata; without it moves and clicks still work.
void RemoteDesktop::OpenCursorStreams() {
  const unsigned generation = generation_;
  portal_.Call(kScreenCast, "OpenPipeWireRemote",
               g_variant_new("(o@a{sv})", session_.c_str(), Options({})),
               [this, generation](const std::string& error, GVariant* reply, GUnixFDList* fds) {
                 if (generation != generation_ || !error.empty()) return;
                 const int fd = TakeFd(reply, fds);
                 if (fd < 0) return;
                 std::vector<std::uint32_t> nodes;
                 for (const StreamArea& area : areas_) nodes.push_back(area.node);
                 cursor_ = std::make_unique<CursorStreams>(
                     fd, nodes,
                     [this](std::size_t stream, int x, int y) {
                       if (stream < areas_.size()) pointer_ = ToDesktop(areas_[stream], x, y, cursor_->FrameSize(stream));
                     },
                     [](std::size_t) {},
                     // Without its screen casts the session is gone too, whether or not the
                     // desktop says Closed (GNOME 43 may not).
                     [this](const std::string& reason) { Fail(kClosed, "屏幕共享已中断: " + reason); });
               },
               G_VARIANT_TYPE("(h)"));
}

void RemoteDesktop::Move(double x, double y) {
  if (state_ != State::Ready) return;
#if defined(TAPWING_HAVE_LIBEI)
  if (ei_) {
    if (!ei_->Ready()) return;  // paused by the desktop for a moment: this tick skips
    PauseCursorStreams();
    if (!ei_->Move(x, y)) throw DeviceUnavailable(kRefused, "远程桌面", "libei 没有给出这个点所在的屏幕");
    if (resume_ != 0) pointer_ = std::make_pair(static_cast<int>(x), static_cast<int>(y));
    return;
  }
#endif
  const auto target = ToStream(areas_, x, y);
  // A click must never land wherever the pointer happens to be: without a place, no tick.
  if (!target) throw DeviceUnavailable(kRefused, "远程桌面", "桌面门户没有给出屏幕");
  // A click on another screen than the point's would be worse than none.
  if (lastOnly_ && target->stream + 1 != areas_.size())
    throw DeviceUnavailable(kUnreachable, "远程桌面",
                            "这个点所在的屏幕, KDE Plasma 5.27 的桌面门户移不到: 它把指针都移到最后一个屏幕上");
  PauseCursorStreams();
  const StreamPoint at = InFramePixels(areas_[target->stream], *target, cursor_ ? cursor_->FrameSize(target->stream)
                                                                                : std::pair{0, 0});
  notify_->Move(areas_[target->stream].node, at.x, at.y);
  if (resume_ != 0) pointer_ = std::make_pair(static_cast<int>(x), static_cast<int>(y));
}

std::optional<std::pair<int, int>> RemoteDesktop::ReadPointer() {
  if (state_ != State::Ready) return std::nullopt;
  if (!castScreens_)
    throw PointerUnreadable(kUnreadable, "这个桌面不告诉 Tapwing 指针的位置: 它不能共享屏幕, 而指针的位置只在屏幕共享里. "
                                         "请直接输入坐标");
  if (!pointer_) AskForPointerReport();
  return pointer_;
}

// The screen casts show the pointer only when it moves: just after they start, until the hand
// moves it, nothing says where it is. A step there and back makes them show it.
void RemoteDesktop::AskForPointerReport() {
  const gint64 now = g_get_monotonic_time();
  if (!cursor_ || now - lastNudge_ < kNudgeEveryUs) return;
  lastNudge_ = now;
  if (notify_) notify_->Nudge();
#if defined(TAPWING_HAVE_LIBEI)
  if (ei_) ei_->Nudge();
#endif
}

// While a run moves the pointer, Tapwing knows where it is: the screen casts rest until the
// moves have stopped for a moment.
void RemoteDesktop::PauseCursorStreams() {
  lastMove_ = g_get_monotonic_time();
  if (!cursor_ || resume_ != 0) return;
  cursor_->Pause(true);
  resume_ = g_timeout_add(kResumeAfterMs, [](gpointer data) -> gboolean {
    auto* self = static_cast<RemoteDesktop*>(data);
    if (g_get_monotonic_time() - self->lastMove_ < kResumeAfterMs * 1000) return G_SOURCE_CONTINUE;
    self->resume_ = 0;
    if (self->cursor_) self->cursor_->Pause(false);
    return G_SOURCE_REMOVE;
  }, this);
}

void RemoteDesktop::Click(int button, int times) {
  if (state_ != State::Ready) return;
#if defined(TAPWING_HAVE_LIBEI)
  if (ei_) return ei_->Click(button, times);
#endif
  notify_->Click(button, times);
}

void RemoteDesktop::Scroll(int steps) {
  if (state_ != State::Ready) return;
#if defined(TAPWING_HAVE_LIBEI)
  if (ei_) return ei_->Scroll(steps);
#endif
  notify_->Scroll(steps);
}

void RemoteDesktop::End() {
  ++generation_;
  notify_.reset();
#if defined(TAPWING_HAVE_LIBEI)
  ei_.reset();
#endif
  if (eiWait_ != 0) g_source_remove(std::exchange(eiWait_, 0));
  cursor_.reset();
  if (resume_ != 0) g_source_remove(std::exchange(resume_, 0));
  areas_.clear();
  pointer_.reset();
  if (closed_ != 0) portal_.Unsubscribe(std::exchange(closed_, 0));
  portal_.Close(std::exchange(request_, 0));  // a dialog still up for it goes away
  if (!session_.empty() && portal_.Bus() != nullptr) {
    g_dbus_connection_call(portal_.Bus(), kPortalName, session_.c_str(), kSession, "Close", nullptr, nullptr,
                           G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr, nullptr);
  }
  session_.clear();
  state_ = State::Idle;
}

void RemoteDesktop::Fail(std::int64_t code, const std::string& reason) {
  // A refusal that was not about screen casts (a portal backend that crashed refuses too): a
  // session without them that never started gives them back to the next question.
  if (!castScreens_ && state_ != State::Ready) castScreens_ = true;
  End();
  if (lost_) lost_(code, reason);
}

}  // namespace platform::wayland
