#include "platform/wayland/input_paths.h"

#include <cstddef>
#include <string>

namespace platform::wayland {
namespace {

constexpr const char* kPortalReading = "ScreenCast portal cursor metadata (PipeWire)";
constexpr const char* kNoReading = "none";

constexpr PathText kTexts[] = {
    // PortalLibei
    {"远程桌面门户 (RemoteDesktop), 点击经 libei (ConnectToEIS), F7 读屏幕共享里的指针",
     "RemoteDesktop portal (org.freedesktop.portal.RemoteDesktop v{version}), clicks through libei (ConnectToEIS)",
     kPortalReading},
    // PortalLibeiWithoutCasts
    {"远程桌面门户 (RemoteDesktop), 点击经 libei (ConnectToEIS), 不带屏幕共享: F7 读不到指针的位置",
     "RemoteDesktop portal (org.freedesktop.portal.RemoteDesktop v{version}), clicks through libei (ConnectToEIS) "
     "without screen casts",
     "none (the desktop cannot cast its screens): F7 says it cannot read the pointer"},
    // PortalNotify
    {"远程桌面门户 (RemoteDesktop), 点击经门户的 Notify 调用, F7 读屏幕共享里的指针",
     "RemoteDesktop portal (org.freedesktop.portal.RemoteDesktop v{version}), clicks as the portal's Notify calls",
     kPortalReading},
    // PortalRefused
    {"远程桌面门户 (RemoteDesktop), 未得到会话",
     "RemoteDesktop portal (org.freedesktop.portal.RemoteDesktop v{version}), no session granted", kNoReading},
    // Wlr
    {"wlroots 虚拟指针 (zwlr_virtual_pointer_v1), F7 用 layer-shell 透明层读指针",
     "wlroots virtual pointer (zwlr_virtual_pointer_v1); {why}",
     "a transparent layer-shell overlay (zwlr_layer_shell_v1) mapped for an instant at F7"},
    // WlrWithoutOverlay
    {"wlroots 虚拟指针 (zwlr_virtual_pointer_v1), 没有 layer-shell: F7 读不到指针的位置",
     "wlroots virtual pointer (zwlr_virtual_pointer_v1); {why}",
     "none (no zwlr_layer_shell_v1): F7 says it cannot read the pointer"},
    // Nothing
    {"无, 第一次 F7/F5 会说明原因",
     "none; {why} (GNOME and KDE Plasma have one), and no zwlr_virtual_pointer_v1 (sway and other wlroots desktops "
     "have it)",
     kNoReading},
};

void Fill(std::string& text, const std::string& name, const std::string& value) {
  for (std::size_t at = text.find(name); at != std::string::npos; at = text.find(name, at + value.size()))
    text.replace(at, name.size(), value);
}

}  // namespace

const PathText& TextOf(InputPath path) { return kTexts[static_cast<std::size_t>(path)]; }

InputPath PathOf(InputRoute::State state, Clicks clicks, bool casts, bool overlay) {
  using State = InputRoute::State;
  switch (state) {
    case State::Wlr:
      return overlay ? InputPath::Wlr : InputPath::WlrWithoutOverlay;
    case State::None:
    case State::Probing:
      return InputPath::Nothing;
    case State::Idle:
      return InputPath::PortalRefused;
    case State::Asking:
    case State::Ready:
      break;
  }
  if (clicks == Clicks::Notify) return InputPath::PortalNotify;
  return casts ? InputPath::PortalLibei : InputPath::PortalLibeiWithoutCasts;
}

std::string SettledLine(InputPath path, const std::string& why) {
  return std::string("tapwing: Wayland 输入: ") + TextOf(path).line + (why.empty() ? "" : "; " + why);
}

std::string AboutInput(InputPath path, unsigned version, const std::string& why) {
  std::string input = TextOf(path).input;
  Fill(input, "{version}", std::to_string(version));
  Fill(input, "{why}", why);
  return "input: " + input + "\npointer reading: " + TextOf(path).reading + "\n";
}

}  // namespace platform::wayland
