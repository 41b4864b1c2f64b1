#include "platform/wayland/portal/remote_desktop_session.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/wayland/pointer_way.h"
#include "platform/wayland/portal/restore_token.h"

namespace platform::wayland {
namespace {

constexpr std::uint32_t kPointer = 2;        // device types
constexpr std::uint32_t kMonitor = 1;        // source types
constexpr std::uint32_t kCursorMetadata = 4;
constexpr std::uint32_t kPersistUntilRevoked = 2;

std::optional<std::pair<int, int>> Pair(GVariant* properties, const char* key) {
  std::int32_t a = 0, b = 0;
  if (!g_variant_lookup(properties, key, "(ii)", &a, &b)) return std::nullopt;
  return std::make_pair(int{a}, int{b});
}

std::vector<StreamInfo> Streams(GVariant* results) {
  std::vector<StreamInfo> streams;
  GVariant* list = g_variant_lookup_value(results, "streams", G_VARIANT_TYPE("a(ua{sv})"));
  if (list == nullptr) return streams;
  GVariantIter iter;
  g_variant_iter_init(&iter, list);
  std::uint32_t node = 0;
  GVariant* properties = nullptr;
  while (g_variant_iter_next(&iter, "(u@a{sv})", &node, &properties)) {
    streams.push_back({node, Pair(properties, "position"), Pair(properties, "size")});
    g_variant_unref(properties);
  }
  g_variant_unref(list);
  return streams;
}

// The file descriptor a (h) reply hands over, or -1.
int TakeFd(GVariant* reply, GUnixFDList* fds) {
  if (reply == nullptr || fds == nullptr) return -1;
  gint32 index = -1;
  g_variant_get(reply, "(h)", &index);
  if (index < 0 || index >= g_unix_fd_list_get_length(fds)) return -1;
  return g_unix_fd_list_get(fds, index, nullptr);
}

}  // namespace

class RemoteDesktopSession::Attempt : public std::enable_shared_from_this<Attempt> {
 public:
  Attempt(RemoteDesktopSession& owner, bool casts) : owner_(owner), portal_(owner.portal_), casts_(casts) {}
  ~Attempt();

  void CreateSession();
  const std::string& Handle() const { return session_; }
  void Work() { worked_ = true; }
  bool Worked() const { return worked_; }
  // Runs `step` with the answer while this attempt is still the owner's.
  template <typename Step>
  auto IfCurrent(Step step) {
    return [weak = weak_from_this(), step](auto&&... answer) {
      if (auto self = weak.lock()) ((*self).*step)(answer...);
    };
  }

 private:
  bool Granted(const PortalAnswer& answer, const char* step);
  void SessionCreated(const PortalAnswer& answer);
  void SelectDevices();
  void DevicesSelected(const PortalAnswer& answer);
  void SelectSources();
  void SourcesSelected(const PortalAnswer& answer);
  void Start();
  void StartAnswered(const PortalAnswer& answer);
  bool CannotCast(const PortalAnswer& answer) const;
  void Closed(GVariant*);

  RemoteDesktopSession& owner_;
  Portal& portal_;
  const bool casts_;
  std::string session_;
  std::uint64_t request_ = 0;  // the step waiting for the portal's answer
  guint closed_ = 0;
  bool worked_ = false;
};

RemoteDesktopSession::Attempt::~Attempt() {
  if (closed_ != 0) portal_.Unsubscribe(closed_);
  portal_.Close(request_);
  portal_.CloseSession(session_);
}

// Whether a step was granted; otherwise the session ends here with the reason.
bool RemoteDesktopSession::Attempt::Granted(const PortalAnswer& answer, const char* step) {
  if (!answer.error.empty()) {
    owner_.Fail(kRefused, std::string(step) + " 失败: " + answer.error);
  } else if (answer.response == 1) {
    owner_.Fail(kDenied, "用户没有允许远程控制");
  } else if (answer.response != 0) {
    owner_.Fail(kRefused, std::string("桌面门户拒绝了请求 (") + step + ")");
  }
  return answer.error.empty() && answer.response == 0;
}

void RemoteDesktopSession::Attempt::CreateSession() {
  GVariant* options = Options({{"session_handle_token", g_variant_new_string(portal_.NewToken().c_str())}});
  request_ = portal_.Request(kRemoteDesktop, "CreateSession", g_variant_new("(@a{sv})", options),
                             IfCurrent(&Attempt::SessionCreated));
}

void RemoteDesktopSession::Attempt::SessionCreated(const PortalAnswer& answer) {
  if (!Granted(answer, "CreateSession")) return;
  auto handle = SessionHandle(answer.results);
  if (!handle) return owner_.Fail(kRefused, Malformed("CreateSession"));
  session_ = std::move(*handle);
  closed_ = portal_.OnObjectSignal(session_, kSessionInterface, "Closed", IfCurrent(&Attempt::Closed));
  SelectDevices();
}

void RemoteDesktopSession::Attempt::Closed(GVariant*) { owner_.Fail(kClosed, "远程桌面会话已被桌面结束"); }

void RemoteDesktopSession::Attempt::SelectDevices() {
  GVariantBuilder options;
  g_variant_builder_init(&options, G_VARIANT_TYPE_VARDICT);
  g_variant_builder_add(&options, "{sv}", "types", g_variant_new_uint32(kPointer));
  // Version 2 keeps the permission: without it the dialog would come back at every start.
  if (owner_.version_ >= 2) {
    g_variant_builder_add(&options, "{sv}", "persist_mode", g_variant_new_uint32(kPersistUntilRevoked));
    const std::string restore = ReadRestoreToken(RestoreTokenFile());
    if (!restore.empty()) g_variant_builder_add(&options, "{sv}", "restore_token", g_variant_new_string(restore.c_str()));
  }
  request_ = portal_.Request(kRemoteDesktop, "SelectDevices",
                             g_variant_new("(o@a{sv})", session_.c_str(), g_variant_builder_end(&options)),
                             IfCurrent(&Attempt::DevicesSelected));
}

void RemoteDesktopSession::Attempt::DevicesSelected(const PortalAnswer& answer) {
  if (!Granted(answer, "SelectDevices")) return;
  if (casts_) return SelectSources();
  Start();
}

void RemoteDesktopSession::Attempt::SelectSources() {
  GVariant* options = Options({{"types", g_variant_new_uint32(kMonitor)},
                               {"multiple", g_variant_new_boolean(TRUE)},
                               {"cursor_mode", g_variant_new_uint32(kCursorMetadata)}});
  request_ = portal_.Request(kScreenCast, "SelectSources", g_variant_new("(o@a{sv})", session_.c_str(), options),
                             IfCurrent(&Attempt::SourcesSelected));
}

void RemoteDesktopSession::Attempt::SourcesSelected(const PortalAnswer& answer) {
  if (Granted(answer, "SelectSources")) Start();
}

void RemoteDesktopSession::Attempt::Start() {
  request_ = portal_.Request(kRemoteDesktop, "Start", g_variant_new("(os@a{sv})", session_.c_str(), "", Options({})),
                             IfCurrent(&Attempt::StartAnswered));
}

// A desktop that cannot cast its screens refuses the whole session (KWin 6 without OpenGL, as
// in virtual machines without a GPU). Clicks through libei need no screen cast.
bool RemoteDesktopSession::Attempt::CannotCast(const PortalAnswer& answer) const {
  return casts_ && answer.response == 2 && answer.error.empty() && owner_.libei_;
}

void RemoteDesktopSession::Attempt::StartAnswered(const PortalAnswer& answer) {
  if (CannotCast(answer)) return owner_.AskWithoutCasts();
  if (!Granted(answer, "Start")) return;
  std::uint32_t devices = 0;
  g_variant_lookup(answer.results, "devices", "u", &devices);
  if ((devices & kPointer) == 0) return owner_.Fail(kNoPointer, "没有得到指针的控制权 (请允许远程交互)");
  const gchar* restore = nullptr;
  if (g_variant_lookup(answer.results, "restore_token", "&s", &restore)) SaveRestoreToken(RestoreTokenFile(), restore);
  owner_.events_.SessionStarted({owner_.version_, casts_ ? Streams(answer.results) : std::vector<StreamInfo>{}, casts_});
}

RemoteDesktopSession::RemoteDesktopSession(Portal& portal, SessionEvents& events) : portal_(portal), events_(events) {}

RemoteDesktopSession::~RemoteDesktopSession() = default;

void RemoteDesktopSession::Ask(std::uint32_t version, bool libei) {
  End();
  version_ = version;
  libei_ = libei;
  attempt_ = std::make_shared<Attempt>(*this, castScreens_);
  attempt_->CreateSession();
}

void RemoteDesktopSession::AskWithoutCasts() {
  std::fprintf(stderr, "tapwing: 桌面不能共享屏幕, 远程桌面会话改为不带屏幕共享: F7 读不到指针的位置\n");
  castScreens_ = false;
  Ask(version_, libei_);
}

void RemoteDesktopSession::End() { attempt_.reset(); }

void RemoteDesktopSession::Working() {
  if (attempt_) attempt_->Work();
}

void RemoteDesktopSession::Fail(std::int64_t code, const std::string& reason) {
  // A refusal that was not about screen casts (a portal backend that crashed refuses too): a
  // session without them that never started gives them back to the next question.
  if (!castScreens_ && !(attempt_ && attempt_->Worked())) castScreens_ = true;
  End();
  events_.SessionEnded(code, reason);
}

const std::string& RemoteDesktopSession::Handle() const {
  static const std::string kNone;
  return attempt_ ? attempt_->Handle() : kNone;
}

void RemoteDesktopSession::ConnectToEis(FdReply done) { CallForFd(kRemoteDesktop, "ConnectToEIS", std::move(done)); }

void RemoteDesktopSession::OpenPipeWireRemote(FdReply done) {
  CallForFd(kScreenCast, "OpenPipeWireRemote", std::move(done));
}

void RemoteDesktopSession::CallForFd(const char* interface, const char* method, FdReply done) {
  if (!attempt_) return;
  std::weak_ptr<Attempt> asked = attempt_;
  portal_.Call(
      interface, method, g_variant_new("(o@a{sv})", Handle().c_str(), Options({})),
      [asked, done = std::move(done)](const std::string& error, GVariant* reply, GUnixFDList* fds) {
        if (asked.expired()) return;  // for a session that has ended
        const int fd = error.empty() ? TakeFd(reply, fds) : -1;
        done(fd, error);
      },
      G_VARIANT_TYPE("(h)"));
}

}  // namespace platform::wayland
