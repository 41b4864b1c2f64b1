// The portal's bus name, object and interfaces.
#pragma once

namespace platform::wayland {

inline constexpr const char* kPortalName = "org.freedesktop.portal.Desktop";
inline constexpr const char* kPortalPath = "/org/freedesktop/portal/desktop";
inline constexpr const char* kRemoteDesktop = "org.freedesktop.portal.RemoteDesktop";
inline constexpr const char* kScreenCast = "org.freedesktop.portal.ScreenCast";
inline constexpr const char* kGlobalShortcuts = "org.freedesktop.portal.GlobalShortcuts";
inline constexpr const char* kSessionInterface = "org.freedesktop.portal.Session";
inline constexpr const char* kRequestInterface = "org.freedesktop.portal.Request";

}  // namespace platform::wayland
