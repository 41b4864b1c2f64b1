#include "platform/wayland/wayland_backend.h"

#include <gdk/gdkwayland.h>

#include <cstdio>
#include <cstdlib>

#include "platform/wayland/wayland_input.h"
#include "platform/wayland/wlr_input.h"

namespace platform::wayland {
namespace {

constexpr const char* kRemoteDesktop = "org.freedesktop.portal.RemoteDesktop";
constexpr const char* kGlobalShortcuts = "org.freedesktop.portal.GlobalShortcuts";
constexpr const char* kNothing =
    "这个桌面既没有远程桌面门户 (org.freedesktop.portal.RemoteDesktop; GNOME、KDE Plasma 有), 也没有 wlroots "
    "虚拟指针 (zwlr_virtual_pointer_v1; sway、Hyprland 等 wlroots 桌面有)";

// What Form1 holds: whichever path the probe chose, also when a failed portal session gives
// way to the wlroots one after the device was opened.
class ChosenInput : public InputDevice {
 public:
  explicit ChosenInput(WaylandBackend& backend) : backend_(backend) {}
  bool ReadCursor(std::string& x, std::string& y) override {
    InputDevice* device = backend_.Device();
    return device != nullptr && device->ReadCursor(x, y);
  }
  void MoveCursor(std::int32_t x, std::int32_t y) override { Do([=](InputDevice& d) { d.MoveCursor(x, y); }); }
  void ClickLeft() override { Do([](InputDevice& d) { d.ClickLeft(); }); }
  void ClickRight() override { Do([](InputDevice& d) { d.ClickRight(); }); }
  void ClickMiddle() override { Do([](InputDevice& d) { d.ClickMiddle(); }); }
  void DoubleClickLeft() override { Do([](InputDevice& d) { d.DoubleClickLeft(); }); }
  void WheelUp() override { Do([](InputDevice& d) { d.WheelUp(); }); }
  void WheelDown() override { Do([](InputDevice& d) { d.WheelDown(); }); }

 private:
  template <typename Operation>
  void Do(Operation operation) {
    if (InputDevice* device = backend_.Device()) operation(*device);
  }
  WaylandBackend& backend_;
};

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
          portal_,
          [this](std::int64_t code, const std::string& reason) {
            // A portal that fails before it ever worked gives way to the wlroots pointer
            // (sway with the GNOME or KDE portal backend installed beside it).
            if (wlr_ && !portalWorked_) {
              hotkeys_.Let(true);
              return Choose(Path::Wlr, "远程桌面门户失败: " + reason);
            }
            hotkeys_.Let(false);  // refused at start-up: its message is all those presses get
            if (InputLost) InputLost(DeviceUnavailable(code, "远程桌面", reason));
          },
          [this] { hotkeys_.Let(true); }),
      shortcuts_(portal_, hotkeys_),
      wlr_(VirtualPointer::Open(gdk_display_get_default())) {
  if (wlr_ && PointerOverlay::Supported())
    overlay_ = std::make_unique<PointerOverlay>([this] { hotkeys_.Tap(Hotkey::F7); });
  // A press before the probe, and where the portal is chosen before the start-up session, has
  // nothing to act on yet: it waits for them instead of being lost.
  hotkeys_.Hold();
}

WaylandBackend::~WaylandBackend() = default;

void WaylandBackend::Attach(GtkWidget* window) {
  hotkeys_.HearWindowKeys(window);
  shortcuts_.Bind();
  portal_.Version(kRemoteDesktop, [this](std::uint32_t version, const std::string& error) {
    const std::string portal = !error.empty() ? "找不到桌面门户服务 (" + error + ")" : "桌面门户没有远程桌面接口";
    if (version > 0) {
      Choose(Path::Portal, "");
      desktop_.Ask(version);
      return;
    }
    Choose(wlr_ ? Path::Wlr : Path::None, portal);
    hotkeys_.Let(true);
  });
}

void WaylandBackend::Choose(Path path, const std::string& why) {
  path_ = path;
  why_ = why;
  // Where a failed portal session may still give way to wlroots, the choice is told once settled.
  if (path == Path::Portal && wlr_ && !portalWorked_) return;
  if (told_) return;
  told_ = true;
  const char* input = path == Path::Portal ? "远程桌面门户 (RemoteDesktop + ScreenCast)"
                      : path == Path::Wlr  ? (overlay_ ? "wlroots 虚拟指针 (zwlr_virtual_pointer_v1), F7 用 layer-shell 透明层读指针"
                                                       : "wlroots 虚拟指针 (zwlr_virtual_pointer_v1), 没有 layer-shell: F7 只知道 Tapwing 移到的位置")
                                           : "无, 第一次 F7/F5 会说明原因";
  std::fprintf(stderr, "tapwing: Wayland 输入: %s%s%s\n", input, why.empty() ? "" : "; ", why.c_str());
}

InputDevice* WaylandBackend::Device() {
  switch (path_) {
    case Path::Probing:
      return nullptr;
    case Path::Portal:
      if (!portalInput_) portalInput_ = std::make_unique<WaylandInput>(desktop_);
      return portalInput_.get();
    case Path::Wlr:
      if (!wlrInput_) wlrInput_ = std::make_unique<WlrInput>(*wlr_, overlay_.get());
      return wlrInput_.get();
    case Path::None:
      break;
  }
  throw DeviceUnavailable(0, "Wayland 指针", kNothing);
}

std::unique_ptr<InputDevice> WaylandBackend::OpenInput() {
  if (path_ == Path::None) Device();  // throws: says what is missing
  return std::make_unique<ChosenInput>(*this);
}

// While the probe runs, and where the portal session is not granted yet, a press asks and does
// nothing else.
bool WaylandBackend::InputAllowed() {
  switch (path_) {
    case Path::Probing:
      return false;
    case Path::Portal:
      if (desktop_.Current() == RemoteDesktop::State::Ready) {
        if (!portalWorked_) {
          portalWorked_ = true;
          Choose(Path::Portal, "");  // settled now, where wlroots was the fallback
        }
        return true;
      }
      desktop_.Ask();
      return false;
    case Path::Wlr:
    case Path::None:
      return true;
  }
  return true;
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
    text += "input: RemoteDesktop portal (org.freedesktop.portal.RemoteDesktop v" + std::to_string(rd) + ")";
    text += wlr_ ? "; the wlroots virtual pointer where its session fails\n" : "\n";
    text += "pointer reading: ScreenCast portal cursor metadata (PipeWire)\n";
  } else if (wlr_) {
    text += "input: wlroots virtual pointer (zwlr_virtual_pointer_v1); " + noPortal + "\n";
    text += overlay_ ? "pointer reading: a transparent layer-shell overlay (zwlr_layer_shell_v1) mapped for an instant at F7\n"
                     : "pointer reading: only where Tapwing last moved the pointer (no zwlr_layer_shell_v1)\n";
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
