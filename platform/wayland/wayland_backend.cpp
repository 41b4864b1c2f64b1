#include "platform/wayland/wayland_backend.h"

#include <gdk/gdkwayland.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "platform/wayland/wayland_input.h"

namespace platform::wayland {
namespace {

constexpr const char* kRemoteDesktop = "org.freedesktop.portal.RemoteDesktop";
constexpr const char* kGlobalShortcuts = "org.freedesktop.portal.GlobalShortcuts";
constexpr const char* kNothing =
    "这个桌面既没有远程桌面门户 (org.freedesktop.portal.RemoteDesktop; GNOME、KDE Plasma 有), 也没有 wlroots "
    "虚拟指针 (zwlr_virtual_pointer_v1; sway、Hyprland 等 wlroots 桌面有)";

// The portal's version of `interface`, asked and waited for: only --about-session waits.
std::uint32_t VersionNow(GDBusConnection* bus, const char* interface, std::string& error) {
  if (bus == nullptr) return 0;
  GError* failure = nullptr;
  GVariant* reply = g_dbus_connection_call_sync(bus, kPortalName, kPortalPath, "org.freedesktop.DBus.Properties", "Get",
                                                g_variant_new("(ss)", interface, "version"), G_VARIANT_TYPE("(v)"),
                                                G_DBUS_CALL_FLAGS_NONE, 10000, nullptr, &failure);
  if (reply == nullptr) {
    // Only where no portal answers is that the reason; else it just lacks the interface.
    if (NoPortalAnswers(failure)) error = failure->message;
    g_error_free(failure);
    return 0;
  }
  GVariant* value = nullptr;
  g_variant_get(reply, "(v)", &value);
  const std::uint32_t version = g_variant_is_of_type(value, G_VARIANT_TYPE_UINT32) ? g_variant_get_uint32(value) : 0;
  g_variant_unref(value);
  g_variant_unref(reply);
  return version;
}

}  // namespace

bool IsWaylandDisplay() {
  GdkDisplay* display = gdk_display_get_default();
  return display != nullptr && GDK_IS_WAYLAND_DISPLAY(display);
}

WaylandBackend::WaylandBackend()
    : desktop_(
          portal_, [this](std::int64_t code, const std::string& reason) { route_.Ended(code, reason); },
          [this](const std::string& way) { route_.Granted(way); }),
      shortcuts_(portal_, hotkeys_),
      wlr_(VirtualPointer::Open(gdk_display_get_default())),
      route_(wlr_ != nullptr, RouteEffects()) {
  if (wlr_) {
    if (PointerOverlay::Supported())
      overlay_ = std::make_unique<PointerOverlay>([this] { wlr_->Nudge(); });
    wlrWay_ = std::make_unique<WlrWay>(*wlr_, overlay_.get());
  }
  hotkeys_.Hold();  // until the route knows how to reach the desktop
}

WaylandBackend::~WaylandBackend() = default;

InputRoute::Effects WaylandBackend::RouteEffects() {
  return {
      [this] { desktop_.Ask(portalVersion_); },
      [this](bool keep) { hotkeys_.Let(keep); },
      [this](std::int64_t code, const std::string& reason) {
        if (InputLost) InputLost(DeviceUnavailable(code, "远程桌面", reason));
      },
      [this](InputRoute::State way, const std::string& detail) { TellWay(way, detail); },
  };
}

void WaylandBackend::Attach(GtkWidget* window) {
  hotkeys_.HearWindowKeys(window);
  shortcuts_.Bind();
  portal_.Version(kRemoteDesktop, [this](std::uint32_t version, const std::string& error) {
    portalVersion_ = version;  // known now: asking needs no second question
    route_.Probed(version, !error.empty() ? "找不到桌面门户服务 (" + error + ")" : "桌面门户没有远程桌面接口");
  });
}

void WaylandBackend::TellWay(InputRoute::State way, const std::string& detail) {
  using State = InputRoute::State;
  const char* input = way == State::Wlr   ? (overlay_ ? "wlroots 虚拟指针 (zwlr_virtual_pointer_v1), F7 用 layer-shell 透明层读指针"
                                                      : "wlroots 虚拟指针 (zwlr_virtual_pointer_v1), 没有 layer-shell: F7 读不到指针的位置")
                      : way == State::None ? "无, 第一次 F7/F5 会说明原因"
                      : way == State::Ready ? "远程桌面门户 (RemoteDesktop)"
                                            : "远程桌面门户 (RemoteDesktop), 未得到会话";
  const char* separator = detail.empty() ? "" : way == State::Ready ? ", " : "; ";
  std::fprintf(stderr, "tapwing: Wayland 输入: %s%s%s\n", input, separator, detail.c_str());
}

PointerWay* WaylandBackend::Way() {
  switch (route_.Current()) {
    case InputRoute::State::Probing:
      return nullptr;
    case InputRoute::State::Asking:
    case InputRoute::State::Ready:
    case InputRoute::State::Idle:
      return &desktop_;
    case InputRoute::State::Wlr:
      return wlrWay_.get();
    case InputRoute::State::None:
      break;
  }
  throw DeviceUnavailable(0, "Wayland 指针", kNothing);
}

std::unique_ptr<InputDevice> WaylandBackend::OpenInput() {
  Way();  // throws where there is none: says what is missing
  return std::make_unique<WaylandInput>([this] { return Way(); });
}

// While the route probes, and where the portal session is not granted yet, a press asks and
// does nothing else. The presses after it wait for the answer, as those at start-up do.
bool WaylandBackend::InputAllowed() {
  if (route_.Admit()) return true;
  hotkeys_.Hold();
  return false;
}

std::string WaylandBackend::AboutSession() {
  const char* socket = std::getenv("WAYLAND_DISPLAY");
  std::string rdError, gsError;
  const std::uint32_t rd = VersionNow(portal_.Bus(), kRemoteDesktop, rdError);
  const std::uint32_t gs = VersionNow(portal_.Bus(), kGlobalShortcuts, gsError);
  if (portal_.Bus() == nullptr) rdError = gsError = portal_.Missing();
  const std::string noPortal = rdError.empty() ? "the desktop portal has no RemoteDesktop" : "no desktop portal: " + rdError;
  std::string text = std::string("display server: Wayland (") + (socket ? socket : "wayland-0") + ")\n";
  if (rd > 0) {
    text += "input: RemoteDesktop portal (org.freedesktop.portal.RemoteDesktop v" + std::to_string(rd) + "), clicks " +
            (ClicksThroughLibei(rd) ? "through libei (ConnectToEIS)" : "as the portal's Notify calls");
    text += wlr_ ? "; the wlroots virtual pointer where its session fails\n" : "\n";
    text += "pointer reading: ScreenCast portal cursor metadata (PipeWire)\n";
  } else if (wlr_) {
    text += "input: wlroots virtual pointer (zwlr_virtual_pointer_v1); " + noPortal + "\n";
    text += overlay_ ? "pointer reading: a transparent layer-shell overlay (zwlr_layer_shell_v1) mapped for an instant at F7\n"
                     : "pointer reading: none (no zwlr_layer_shell_v1): F7 says it cannot read the pointer\n";
  } else {
    text += "input: none; " + noPortal +
            " (GNOME and KDE Plasma have one), and no zwlr_virtual_pointer_v1 (sway and other wlroots desktops "
            "have it)\npointer reading: none\n";
  }
  if (gs > 0) {
    text += "hotkeys: GlobalShortcuts portal (org.freedesktop.portal.GlobalShortcuts v" + std::to_string(gs) + ")\n";
  } else {
    text += "hotkeys: F5/F6/F7 while Tapwing's window has the focus; elsewhere bind them in the desktop to "
            "`tapwing --hotkey F5` (F6, F7): no GlobalShortcuts portal\n";
  }
  return text;
}

}  // namespace platform::wayland
