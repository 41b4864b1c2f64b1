#include "platform/wayland/wayland_backend.h"

#include <gdk/gdkwayland.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "platform/wayland/input_paths.h"

namespace platform::wayland {
namespace {

constexpr const char* kNothing =
    "这个桌面既没有远程桌面门户 (org.freedesktop.portal.RemoteDesktop; GNOME、KDE Plasma 有), 也没有 wlroots "
    "虚拟指针 (zwlr_virtual_pointer_v1; sway、Hyprland 等 wlroots 桌面有)";

constexpr const char* kWlrootsDesktop = "wlroots 桌面: 不用别的桌面的远程桌面门户";

// A route that only decides: --about-session asks the desktop for nothing.
class Undriven : public InputRoute::Driver {
  void AskForSession() override {}
  void LetPresses(bool) override {}
  void ReportLoss(std::int64_t, const std::string&) override {}
  void Tell(InputRoute::State, const std::string&) override {}
};

}  // namespace

bool IsWaylandDisplay() {
  GdkDisplay* display = gdk_display_get_default();
  return display != nullptr && GDK_IS_WAYLAND_DISPLAY(display);
}

WaylandBackend::WaylandBackend()
    : shortcuts_(portal_, hotkeys_),
      wlr_(WlrWay::Open(gdk_display_get_default())),
      route_(wlr_ != nullptr, *this),
      portalInput_(portal_, route_) {
  hotkeys_.Hold();  // until the route knows how to reach the desktop
}

WaylandBackend::~WaylandBackend() = default;

void WaylandBackend::Attach(GtkWidget* window) {
  hotkeys_.HearWindowKeys(window);
  // A wlroots desktop has neither portal of its own: one installed beside it belongs to
  // another desktop (labwc's portal config falls back to any), and would only fail.
  if (wlr_) {
    shortcuts_.LeaveToDesktop();
    return route_.Probed(0, kWlrootsDesktop);
  }
  shortcuts_.Bind();
  portal_.Version(kRemoteDesktop, [this](std::uint32_t version, const std::string& error) {
    portalVersion_ = version;  // known now: asking needs no second question
    route_.Probed(version, !error.empty() ? "找不到桌面门户服务 (" + error + ")" : "桌面门户没有远程桌面接口");
  });
}

void WaylandBackend::ReportLoss(std::int64_t code, const std::string& reason) {
  if (InputLost) InputLost(DeviceUnavailable(code, "远程桌面", reason));
}

void WaylandBackend::Tell(InputRoute::State state, const std::string& why) {
  const InputPath path = PathOf(state, portalInput_.ClicksTaken(), portalInput_.Casts(), wlr_ && wlr_->HasOverlay());
  std::fprintf(stderr, "%s\n", SettledLine(path, why).c_str());
}

PointerWay* WaylandBackend::Way() {
  switch (route_.Current()) {
    case InputRoute::State::Probing:
    case InputRoute::State::Asking:
    case InputRoute::State::Idle:
      return nullptr;
    case InputRoute::State::Ready:
      return portalInput_.Way();
    case InputRoute::State::Wlr:
      return wlr_.get();
    case InputRoute::State::None:
      break;
  }
  throw DeviceUnavailable(0, "Wayland 指针", kNothing);
}

PointerReader* WaylandBackend::Reader() {
  if (route_.Current() == InputRoute::State::Ready) return portalInput_.Reader();
  if (route_.Current() == InputRoute::State::Wlr) return &wlr_->Reader();
  return nullptr;
}

std::unique_ptr<InputDevice> WaylandBackend::OpenInput() {
  Way();  // throws where there is none: says what is missing
  return std::make_unique<WaylandInput>(static_cast<WayInUse&>(*this));
}

// While the route probes, and where the portal session is not granted yet, a press asks and
// does nothing else. The presses after it wait for the answer, as those at start-up do.
bool WaylandBackend::InputAllowed() {
  if (route_.Admit()) return true;
  hotkeys_.Hold();
  return false;
}

std::string WaylandBackend::AboutSession() {
  // Asked as Attach asks: on a wlroots desktop, nothing.
  std::string rdError, gsError;
  const std::uint32_t rd = wlr_ ? 0 : portal_.VersionNow(kRemoteDesktop, rdError);
  const std::uint32_t gs = wlr_ ? 0 : portal_.VersionNow(kGlobalShortcuts, gsError);
  Undriven undriven;
  InputRoute route(wlr_ != nullptr, undriven);
  route.Probed(rd, {});
  const InputPath path = PathOf(route.Current(), ChooseClicks(ClickFactsHere(rd)), true, wlr_ && wlr_->HasOverlay());
  const std::string why = wlr_                ? "a wlroots desktop: no portal asked"
                          : rdError.empty() ? "the desktop portal has no RemoteDesktop"
                                            : "no desktop portal: " + rdError;
  const char* socket = std::getenv("WAYLAND_DISPLAY");
  std::string text = std::string("display server: Wayland (") + (socket ? socket : "wayland-0") + ")\n";
  text += AboutInput(path, rd, why);
  if (gs > 0) {
    text += "hotkeys: GlobalShortcuts portal (org.freedesktop.portal.GlobalShortcuts v" + std::to_string(gs) + ")\n";
  } else {
    text += std::string("hotkeys: F5/F6/F7 while Tapwing's window has the focus; elsewhere bind them in the desktop to "
                        "`tapwing --hotkey F5` (F6, F7): ") +
            (wlr_ ? "a wlroots desktop binds its own keys\n" : "no GlobalShortcuts portal\n");
  }
  return text;
}

}  // namespace platform::wayland
