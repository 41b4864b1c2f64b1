#include "platform/wayland/ei/ei_way.h"

#include <glib.h>

#include <cstdint>
#include <memory>
#include <string>
#include <utility>

#include "platform/input_device.h"
#include "platform/wayland/ei/ei_pointer.h"

namespace platform::wayland {
namespace {

class EiWay : public PointerWay, private WayEvents {
 public:
  EiWay(int fd, WayEvents& events)
      : events_(events), wait_(g_timeout_add_seconds(kWaitSeconds, &EiWay::GiveUp, this)), ei_(fd, *this) {}
  ~EiWay() override {
    if (wait_ != 0) g_source_remove(wait_);
  }

  bool Move(double x, double y) override {
    if (!ei_.Ready()) return false;  // paused by the desktop for a moment: this tick skips
    if (!ei_.Move(x, y)) throw DeviceUnavailable(kRefused, "远程桌面", "libei 没有给出这个点所在的屏幕");
    return true;
  }
  void Click(int button, int times) override { ei_.Click(button, times); }
  void Scroll(int steps) override { ei_.Scroll(steps); }
  void Nudge() override { ei_.Nudge(); }

 private:
  static constexpr guint kWaitSeconds = 5;

  void WayReady() override {
    if (wait_ != 0) g_source_remove(std::exchange(wait_, 0));
    events_.WayReady();
  }
  void WayLost(std::int64_t code, const std::string& reason) override { events_.WayLost(code, reason); }

  // A desktop that connects but offers no pointer would leave the question open for ever.
  static gboolean GiveUp(gpointer data) {
    auto* self = static_cast<EiWay*>(data);
    self->wait_ = 0;
    self->events_.WayLost(kNoPointer, "libei 没有给出可用的指针设备");
    return G_SOURCE_REMOVE;
  }

  WayEvents& events_;
  guint wait_;
  EiPointer ei_;
};

}  // namespace

bool LibeiBuiltIn() { return true; }

std::unique_ptr<PointerWay> OpenEiWay(int fd, WayEvents& events) { return std::make_unique<EiWay>(fd, events); }

}  // namespace platform::wayland
