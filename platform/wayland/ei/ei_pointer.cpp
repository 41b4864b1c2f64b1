#include "platform/wayland/ei/ei_pointer.h"

#include <dlfcn.h>
#include <glib-unix.h>
#include <glib.h>
#include <libei.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <utility>
#include <vector>

#include "platform/wayland/ei/ei_regions.h"

namespace platform::wayland {

namespace {

constexpr const char* kDisconnected = "桌面断开了输入连接";
constexpr const char* kSeatRemoved = "输入座席已被桌面移除";
constexpr const char* kDeviceRemoved = "输入设备已被桌面移除";
constexpr const char* kNoDevices = "桌面没有提供所需的输入设备";
constexpr const char* kNoConnection = "无法建立与桌面的输入连接";

struct Device {
  ei_device* device;  // our reference
  std::vector<EiRegion> regions;
  bool absolute, button, scroll;
  bool relative = false;  // only for a nudge: optional
  bool resumed = false;  // and emulating
};

// libei's ping came with 1.4 (1.3.901): looked up when first needed, so that the program also
// runs with an older libei (Ubuntu 24.04 has 1.2). Without it, a desktop that offers no usable
// device is found out by EiWay's wait instead, a few seconds later.
void SendPing(ei* context) {
  using Ping = struct ei_ping;  // the function of that name hides the type
  using New = Ping* (*)(ei*);
  using Send = void (*)(Ping*);
  using Unref = Ping* (*)(Ping*);
  static const auto make = reinterpret_cast<New>(dlsym(RTLD_DEFAULT, "ei_new_ping"));
  static const auto send = reinterpret_cast<Send>(dlsym(RTLD_DEFAULT, "ei_ping"));
  static const auto unref = reinterpret_cast<Unref>(dlsym(RTLD_DEFAULT, "ei_ping_unref"));
  if (make == nullptr || send == nullptr || unref == nullptr) return;
  Ping* ping = make(context);
  send(ping);
  unref(ping);
}

std::vector<EiRegion> RegionsOf(ei_device* device) {
  std::vector<EiRegion> regions;
  for (std::size_t i = 0; ei_region* r = ei_device_get_region(device, i); ++i)
    regions.push_back({ei_region_get_x(r), ei_region_get_y(r), ei_region_get_width(r), ei_region_get_height(r),
                       ei_region_get_physical_scale(r)});
  return regions;
}

}  // namespace

struct EiPointer::Impl {
  ei* context = nullptr;
  guint source = 0;
  guint failed = 0;  // the set-up failure, reported from the loop
  explicit Impl(WayEvents& listener) : events(listener) {}

  WayEvents& events;
  std::vector<Device> devices;
  ei_device* moved = nullptr;  // the device that took the last move
  static constexpr std::size_t kNoRegion = std::numeric_limits<std::size_t>::max();
  std::size_t region = kNoRegion;  // the region of the last move, while the regions stay
  std::uint32_t sequence = 0;
  bool wasReady = false;
  bool ended = false;
  std::shared_ptr<bool> alive = std::make_shared<bool>(true);

  ~Impl() {
    *alive = false;
    if (source != 0) g_source_remove(source);
    if (failed != 0) g_source_remove(failed);
    Release();
  }

  void Release() {
    for (Device& d : devices) ei_device_unref(d.device);
    devices.clear();
    moved = nullptr;
    if (context != nullptr) context = ei_unref(context);
  }

  Device* Find(ei_device* device) {
    auto it = std::find_if(devices.begin(), devices.end(), [&](const Device& d) { return d.device == device; });
    return it == devices.end() ? nullptr : &*it;
  }

  // Whether the kept devices (resumed ones only, if asked) still do all three jobs.
  bool Covered(bool resumedOnly) const {
    bool absolute = false, button = false, scroll = false;
    for (const Device& d : devices) {
      if (resumedOnly && !d.resumed) continue;
      absolute = absolute || (d.absolute && !d.regions.empty());
      button = button || d.button;
      scroll = scroll || d.scroll;
    }
    return absolute && button && scroll;
  }

  bool Ready() const { return !ended && context != nullptr && Covered(true); }

  // A resumed device with the capability, the one moved last first.
  Device* Sender(bool Device::*capability) {
    Device* last = moved != nullptr ? Find(moved) : nullptr;
    if (last != nullptr && last->resumed && last->*capability) return last;
    for (Device& d : devices)
      if (d.resumed && d.*capability) return &d;
    return nullptr;
  }

  void Frame(ei_device* device) { ei_device_frame(device, ei_now(context)); }

  void Added(ei_device* device) {
    Device d{device, {}, ei_device_has_capability(device, EI_DEVICE_CAP_POINTER_ABSOLUTE),
             ei_device_has_capability(device, EI_DEVICE_CAP_BUTTON),
             ei_device_has_capability(device, EI_DEVICE_CAP_SCROLL)};
    d.relative = ei_device_has_capability(device, EI_DEVICE_CAP_POINTER);
    if (!d.absolute && !d.button && !d.scroll && !d.relative) {
      ei_device_close(device);
      return;
    }
    if (d.absolute) d.regions = RegionsOf(device);
    d.device = ei_device_ref(device);
    devices.push_back(std::move(d));
    region = kNoRegion;
  }

  // Returns true when a device we kept went away.
  bool Removed(ei_device* device) {
    Device* d = Find(device);
    if (d == nullptr) return false;
    if (moved == device) moved = nullptr;
    region = kNoRegion;
    ei_device_unref(d->device);
    devices.erase(devices.begin() + (d - devices.data()));
    return true;
  }

  // One event; the first reason to give up, if any, goes to `reason`.
  void Handle(ei_event* event, const char*& reason, bool& removed) {
    ei_device* device = ei_event_get_device(event);
    switch (ei_event_get_type(event)) {
      case EI_EVENT_DISCONNECT:
        reason = kDisconnected;  // says more than the seat and device removals before it
        break;
      case EI_EVENT_SEAT_ADDED: {
        ei_seat_bind_capabilities(ei_event_get_seat(event), EI_DEVICE_CAP_POINTER_ABSOLUTE, EI_DEVICE_CAP_BUTTON,
                                  EI_DEVICE_CAP_SCROLL, EI_DEVICE_CAP_POINTER, nullptr);
        // Desktops add the devices as they take the bind: by the answer, all of them are here.
        SendPing(context);
        break;
      }
      case EI_EVENT_SEAT_REMOVED:
        if (reason == nullptr) reason = kSeatRemoved;
        break;
      case EI_EVENT_DEVICE_ADDED:
        Added(device);
        break;
      case EI_EVENT_DEVICE_REMOVED:
        removed = Removed(device) || removed;
        break;
      case EI_EVENT_DEVICE_PAUSED:
        if (Device* d = Find(device)) d->resumed = false;
        region = kNoRegion;  // the regions a move chooses from change with the resumed devices
        break;
      case EI_EVENT_DEVICE_RESUMED:
        region = kNoRegion;
        // A pause ends the emulation; each resume starts a new sequence.
        if (Device* d = Find(device); d != nullptr && !d->resumed) {
          d->resumed = true;
          ei_device_start_emulating(device, ++sequence);
        }
        break;
      case EI_EVENT_PONG:
        if (reason == nullptr && !Covered(false)) reason = kNoDevices;
        break;
      default:
        break;
    }
  }

  // Stops sending for good and tells the owner, who may destroy us.
  void End(const char* reason) {
    ended = true;
    Release();
    events.WayLost(kClosed, reason);
  }

  static gboolean OnSocket(gint, GIOCondition condition, gpointer data) {
    auto* self = static_cast<Impl*>(data);
    ei_dispatch(self->context);
    const char* reason = nullptr;
    bool removed = false;
    while (ei_event* event = ei_get_event(self->context)) {
      self->Handle(event, reason, removed);
      ei_event_unref(event);
    }
    if (reason == nullptr && removed && !self->Covered(false)) reason = kDeviceRemoved;
    if (reason == nullptr && (condition & (G_IO_HUP | G_IO_ERR)) != 0) reason = kDisconnected;
    if (reason != nullptr) {
      self->source = 0;
      self->End(reason);
      return G_SOURCE_REMOVE;
    }
    const bool ready = self->Ready();
    const bool turnedReady = ready && !self->wasReady;
    self->wasReady = ready;
    if (turnedReady) {
      const std::shared_ptr<bool> alive = self->alive;
      self->events.WayReady();
      if (!*alive) return G_SOURCE_REMOVE;  // the source went with us
    }
    return G_SOURCE_CONTINUE;
  }
};

EiPointer::EiPointer(int fd, WayEvents& events) : impl_(std::make_unique<Impl>(events)) {
  impl_->context = ei_new_sender(nullptr);
  if (impl_->context == nullptr) {
    close(fd);
  } else {
    ei_configure_name(impl_->context, "Tapwing");
    ei_log_set_priority(impl_->context, EI_LOG_PRIORITY_WARNING);
    if (ei_setup_backend_fd(impl_->context, fd) == 0)
      impl_->source = g_unix_fd_add(ei_get_fd(impl_->context), static_cast<GIOCondition>(G_IO_IN | G_IO_HUP | G_IO_ERR),
                                     &Impl::OnSocket, impl_.get());
  }
  if (impl_->source == 0) {
    impl_->failed = g_idle_add(
        [](gpointer data) -> gboolean {
          auto* self = static_cast<Impl*>(data);
          self->failed = 0;
          self->End(kNoConnection);
          return G_SOURCE_REMOVE;
        },
        impl_.get());
  }
}

EiPointer::~EiPointer() = default;

bool EiPointer::Ready() const { return impl_->Ready(); }

bool EiPointer::Move(double x, double y) {
  if (!Ready()) return false;
  std::vector<EiRegion> regions;
  std::vector<Device*> owners;
  for (Device& d : impl_->devices) {
    if (!d.resumed || !d.absolute) continue;
    regions.insert(regions.end(), d.regions.begin(), d.regions.end());
    owners.insert(owners.end(), d.regions.size(), &d);
  }
  const auto placed = PlaceInRegions(regions, x, y);
  if (!placed) return false;
  ei_device* device = owners[placed->region]->device;
  // Desktops hold a pointer that crosses into another output at the edge: KWin 6's edge
  // barrier eats the first 100 px past it, gnome-shell's panel barrier stops it beside the top
  // bar. A move into another output than the last goes by that output's middle first, so the
  // barrier eats a part of that way and the move to the point stays inside the output.
  if (placed->region != impl_->region) {
    const EiRegion& r = regions[placed->region];
    ei_device_pointer_motion_absolute(device, r.x + r.width / 2.0, r.y + r.height / 2.0);
    impl_->Frame(device);
  }
  ei_device_pointer_motion_absolute(device, placed->x, placed->y);
  impl_->Frame(device);
  impl_->moved = device;
  impl_->region = placed->region;
  return true;
}

void EiPointer::Click(int button, int times) {
  if (!Ready() || button < 0) return;
  Device* d = impl_->Sender(&Device::button);
  if (d == nullptr) return;
  for (int i = 0; i < times; ++i) {
    ei_device_button_button(d->device, static_cast<std::uint32_t>(button), true);
    impl_->Frame(d->device);
    ei_device_button_button(d->device, static_cast<std::uint32_t>(button), false);
    impl_->Frame(d->device);
  }
}

void EiPointer::Nudge() {
  if (!Ready()) return;
  Device* d = impl_->Sender(&Device::relative);
  if (d == nullptr) return;
  for (double dx : {1.0, -1.0}) {
    ei_device_pointer_motion(d->device, dx, 0.0);
    impl_->Frame(d->device);
  }
}

void EiPointer::Scroll(int steps) {
  if (!Ready() || steps == 0) return;
  Device* d = impl_->Sender(&Device::scroll);
  if (d == nullptr) return;
  constexpr long long kLimit = std::numeric_limits<std::int32_t>::max();
  const long long value = std::clamp(120LL * steps, -kLimit, kLimit);  // 120 per wheel step
  ei_device_scroll_discrete(d->device, 0, static_cast<std::int32_t>(value));
  impl_->Frame(d->device);
}

}  // namespace platform::wayland
