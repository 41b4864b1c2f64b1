#include "platform/wayland/wlr/virtual_pointer.h"

#include <gdk/gdkwayland.h>
#include <wayland-client.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>

#include "wlr-virtual-pointer-unstable-v1-client-protocol.h"

namespace platform::wayland {
namespace {

struct Found {
  std::uint32_t name = 0;
  std::uint32_t version = 0;
};

void OnGlobal(void* data, wl_registry*, std::uint32_t name, const char* interface, std::uint32_t version) {
  if (std::strcmp(interface, zwlr_virtual_pointer_manager_v1_interface.name) == 0)
    *static_cast<Found*>(data) = {name, version};
}
void OnGlobalRemoved(void*, wl_registry*, std::uint32_t) {}
const wl_registry_listener kRegistry = {OnGlobal, OnGlobalRemoved};

std::uint32_t Now() { return static_cast<std::uint32_t>(g_get_monotonic_time() / 1000); }

// The bounding box of every monitor: the layout that motion_absolute's extents span.
GdkRectangle Layout() {
  GdkRectangle box{0, 0, 0, 0};
  GdkDisplay* display = gdk_display_get_default();
  for (int i = 0; display != nullptr && i < gdk_display_get_n_monitors(display); ++i) {
    GdkRectangle geometry;
    gdk_monitor_get_geometry(gdk_display_get_monitor(display, i), &geometry);
    gdk_rectangle_union(i == 0 ? &geometry : &box, &geometry, &box);
  }
  return box;
}

}  // namespace

std::unique_ptr<VirtualPointer> VirtualPointer::Open(GdkDisplay* display) {
  if (display == nullptr || !GDK_IS_WAYLAND_DISPLAY(display)) return nullptr;
  wl_display* wl = gdk_wayland_display_get_wl_display(display);
  wl_event_queue* queue = wl_display_create_queue(wl);
  auto* wrapper = static_cast<wl_display*>(wl_proxy_create_wrapper(wl));
  wl_proxy_set_queue(reinterpret_cast<wl_proxy*>(wrapper), queue);
  wl_registry* registry = wl_display_get_registry(wrapper);
  wl_proxy_wrapper_destroy(wrapper);
  Found found;
  wl_registry_add_listener(registry, &kRegistry, &found);
  wl_display_roundtrip_queue(wl, queue);
  zwlr_virtual_pointer_manager_v1* manager = nullptr;
  if (found.name != 0) {
    manager = static_cast<zwlr_virtual_pointer_manager_v1*>(
        wl_registry_bind(registry, found.name, &zwlr_virtual_pointer_manager_v1_interface, 1));
    // It has no events; back on the default queue, the private one can go.
    wl_proxy_set_queue(reinterpret_cast<wl_proxy*>(manager), nullptr);
  }
  wl_registry_destroy(registry);
  wl_event_queue_destroy(queue);
  if (manager == nullptr) return nullptr;
  return std::unique_ptr<VirtualPointer>(new VirtualPointer(wl, manager));
}

VirtualPointer::VirtualPointer(wl_display* display, zwlr_virtual_pointer_manager_v1* manager)
    : display_(display),
      manager_(manager),
      device_(zwlr_virtual_pointer_manager_v1_create_virtual_pointer(manager, nullptr)) {
  wl_display_flush(display_);
}

VirtualPointer::~VirtualPointer() {
  zwlr_virtual_pointer_v1_destroy(device_);
  zwlr_virtual_pointer_manager_v1_destroy(manager_);
  wl_display_flush(display_);
}

// Each group of events ends with a frame and goes out at once, not at GTK's next flush.
void VirtualPointer::Frame() {
  zwlr_virtual_pointer_v1_frame(device_);
  wl_display_flush(display_);
}

void VirtualPointer::Move(int x, int y) {
  const GdkRectangle box = Layout();
  if (box.width <= 0 || box.height <= 0) return;
  // Twice the layout's size as extents puts the pointer at the pixel's centre, so rounding
  // on the compositor's side never moves it to the pixel before.
  const auto at = [](int point, int origin, int size) {
    const long long doubled = 2LL * (static_cast<long long>(point) - origin) + 1;
    return static_cast<std::uint32_t>(std::clamp<long long>(doubled, 0, 2LL * size - 1));
  };
  zwlr_virtual_pointer_v1_motion_absolute(device_, Now(), at(x, box.x, box.width), at(y, box.y, box.height),
                                          2u * static_cast<std::uint32_t>(box.width),
                                          2u * static_cast<std::uint32_t>(box.height));
  Frame();
}

void VirtualPointer::Nudge() {
  zwlr_virtual_pointer_v1_motion(device_, Now(), wl_fixed_from_int(0), wl_fixed_from_int(0));
  Frame();
}

void VirtualPointer::Click(int button, int times) {
  for (int i = 0; i < times; ++i) {
    zwlr_virtual_pointer_v1_button(device_, Now(), static_cast<std::uint32_t>(button), WL_POINTER_BUTTON_STATE_PRESSED);
    Frame();
    zwlr_virtual_pointer_v1_button(device_, Now(), static_cast<std::uint32_t>(button), WL_POINTER_BUTTON_STATE_RELEASED);
    Frame();
  }
}

void VirtualPointer::Scroll(int steps) {
  zwlr_virtual_pointer_v1_axis_source(device_, WL_POINTER_AXIS_SOURCE_WHEEL);
  // 15 units a step, as libinput reports a wheel notch.
  zwlr_virtual_pointer_v1_axis_discrete(device_, Now(), WL_POINTER_AXIS_VERTICAL_SCROLL, wl_fixed_from_int(15 * steps),
                                        steps);
  Frame();
}

}  // namespace platform::wayland
