#include "platform/wayland/portal/notify_calls.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <utility>

namespace platform::wayland {
namespace {

constexpr const char* kMove = "NotifyPointerMotionAbsolute";

void Drop(GVariant* args) { g_variant_unref(g_variant_ref_sink(args)); }

}  // namespace

NotifyCalls::NotifyCalls(Portal& portal, std::string session, WayEvents& lost)
    : portal_(portal), session_(std::move(session)), lost_(lost) {}

NotifyCalls::~NotifyCalls() {
  for (Call& call : queue_) Drop(call.args);
}

void NotifyCalls::Move(std::uint32_t node, double x, double y) {
  DropUnsentTick();
  Send(kMove, g_variant_new("(o@a{sv}udd)", session_.c_str(), Options({}), node, x, y));
}

void NotifyCalls::Click(int button, int times) {
  for (int i = 0; i < times; ++i) {
    for (std::uint32_t pressed : {1u, 0u})
      Send("NotifyPointerButton", g_variant_new("(o@a{sv}iu)", session_.c_str(), Options({}), button, pressed));
  }
}

void NotifyCalls::Scroll(int steps) {
  Send("NotifyPointerAxisDiscrete", g_variant_new("(o@a{sv}ui)", session_.c_str(), Options({}), 0u, steps));
}

void NotifyCalls::Nudge() {
  for (double dx : {1.0, -1.0})
    Send("NotifyPointerMotion", g_variant_new("(o@a{sv}dd)", session_.c_str(), Options({}), dx, 0.0));
}

// A tick whose move has not gone out yet is dropped whole when the next one comes.
void NotifyCalls::DropUnsentTick() {
  for (auto call = queue_.begin(); call != queue_.end(); ++call) {
    if (std::strcmp(call->method, kMove) != 0) continue;
    for (auto dropped = call; dropped != queue_.end(); ++dropped) Drop(dropped->args);
    queue_.erase(call, queue_.end());
    return;
  }
}

void NotifyCalls::Send(const char* method, GVariant* args) {
  queue_.push_back({method, args});
  Pump();
}

void NotifyCalls::Pump() {
  if (waiting_ || queue_.empty()) return;
  const Call call = queue_.front();
  queue_.pop_front();
  waiting_ = true;
  std::weak_ptr<bool> alive = alive_;
  portal_.Call(kRemoteDesktop, call.method, call.args, [this, alive](const std::string& error, GVariant*, GUnixFDList*) {
    if (alive.expired()) return;
    if (!error.empty()) {
      for (Call& dropped : queue_) Drop(dropped.args);
      queue_.clear();
      return lost_.WayLost(kCallFailed, "远程桌面调用失败: " + error);  // may end this object
    }
    waiting_ = false;
    Pump();
  });
}

}  // namespace platform::wayland
