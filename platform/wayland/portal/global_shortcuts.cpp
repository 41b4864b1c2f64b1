#include "platform/wayland/portal/global_shortcuts.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <string>
#include <utility>

namespace platform::wayland {
namespace {

constexpr const char* kBound = "tapwing: 全局快捷键 F5/F6/F7 已由桌面绑定";

struct Shortcut {
  const char* id;
  const char* description;
  Hotkey key;
};

constexpr Shortcut kShortcuts[] = {
    {"F7", "取当前鼠标位置为坐标", Hotkey::F7},
    {"F5", "开始连点", Hotkey::F5},
    {"F6", "停止连点", Hotkey::F6},
};

GVariant* ShortcutList() {
  GVariantBuilder list;
  g_variant_builder_init(&list, G_VARIANT_TYPE("a(sa{sv})"));
  for (const Shortcut& shortcut : kShortcuts) {
    g_variant_builder_add(&list, "(s@a{sv})", shortcut.id,
                          Options({{"description", g_variant_new_string(shortcut.description)},
                                   {"preferred_trigger", g_variant_new_string(shortcut.id)}}));
  }
  return g_variant_builder_end(&list);
}

}  // namespace

Shortcuts::Shortcuts(Portal& portal, gtk::HotkeyLatches& keys) : portal_(portal), keys_(keys) {}

void Shortcuts::Bind() {
  portal_.Version(kGlobalShortcuts, [this](std::uint32_t version, const std::string& error) {
    if (!error.empty()) return Report("找不到桌面门户服务 (" + error + ")");
    if (version == 0) return Report("桌面门户没有全局快捷键接口");
    Register();
  });
}

void Shortcuts::LeaveToDesktop() { Report("wlroots 桌面自己绑定按键, 不用全局快捷键门户"); }

// GNOME binds shortcuts only for an application id it knows from an installed desktop file.
// Other portals have no registry; the call then fails, which changes nothing.
void Shortcuts::Register() {
  portal_.Call("org.freedesktop.host.portal.Registry", "Register",
               g_variant_new("(s@a{sv})", gtk::kApplicationId, Options({})),
               [this](const std::string&, GVariant*, GUnixFDList*) { CreateSession(); });
}

void Shortcuts::CreateSession() {
  portal_.OnSignal(kGlobalShortcuts, "Activated", [this](GVariant* p) { OnActivated(p, true); });
  portal_.OnSignal(kGlobalShortcuts, "Deactivated", [this](GVariant* p) { OnActivated(p, false); });
  // KDE binds only the shortcuts named at creation.
  GVariant* options = Options({{"session_handle_token", g_variant_new_string("tapwing")},
                               {"shortcuts", ShortcutList()}});
  portal_.Request(kGlobalShortcuts, "CreateSession", g_variant_new("(@a{sv})", options),
                  [this](const PortalAnswer& answer) {
                    if (answer.response != 0)
                      return Report("全局快捷键会话被拒绝" + (answer.error.empty() ? "" : " (" + answer.error + ")"));
                    auto handle = SessionHandle(answer.results);
                    if (!handle) return Report(Malformed("CreateSession"));
                    session_ = std::move(*handle);
                    BindShortcuts();
                  });
}

void Shortcuts::BindShortcuts() {
  portal_.Request(kGlobalShortcuts, "BindShortcuts",
                  g_variant_new("(o@a(sa{sv})s@a{sv})", session_.c_str(), ShortcutList(), "", Options({})),
                  [this](const PortalAnswer& answer) {
                    // GNOME answers 2 while it still lists the bound shortcuts.
                    GVariant* bound = answer.results != nullptr
                                          ? g_variant_lookup_value(answer.results, "shortcuts", G_VARIANT_TYPE("a(sa{sv})"))
                                          : nullptr;
                    const bool any = bound != nullptr && g_variant_n_children(bound) > 0;
                    if (bound != nullptr) g_variant_unref(bound);
                    if (answer.response != 0 && !any)
                      return Report("全局快捷键没有绑定" + (answer.error.empty() ? "" : " (" + answer.error + ")"));
                    // Until now the keys reach Tapwing only in its own window: say when they work everywhere.
                    std::fprintf(stderr, "%s\n", kBound);
                  });
}

void Shortcuts::OnActivated(GVariant* parameters, bool down) {
  if (!g_variant_is_of_type(parameters, G_VARIANT_TYPE("(osta{sv})"))) return;  // not the portal's signal
  const gchar* session = nullptr;
  const gchar* id = nullptr;
  guint64 when = 0;  // milliseconds
  g_variant_get_child(parameters, 0, "&o", &session);
  g_variant_get_child(parameters, 1, "&s", &id);
  g_variant_get_child(parameters, 2, "t", &when);
  if (session_.empty() || session_ != session) return;
  for (std::size_t i = 0; i < std::size(kShortcuts); ++i) {
    const Shortcut& shortcut = kShortcuts[i];
    if (std::strcmp(shortcut.id, id) != 0) continue;
    if (!down) {
      held_[i] = false;
      keys_.Lift(shortcut.key);  // a quick press may come with its release in one batch
      continue;
    }
    // GNOME repeats Activated while the key is held (every 30 ms after 500 ms) and says
    // Deactivated only at the release: an Activated that soon after the key's last one, with no
    // Deactivated between, is that repeat. Any other is a new press, whatever became of the last
    // one's release: a desktop may never send it, and the window may have seen a press of the
    // key but not its release when the focus left it under the held key. Either would
    // otherwise leave the key down, and its next press taken for a repeat: an F6 lost.
    const bool repeat = held_[i] && when > lastActivated_[i] && when - lastActivated_[i] < 1000;
    lastActivated_[i] = when;
    held_[i] = true;
    if (repeat) continue;
    keys_.Release(shortcut.key);
    keys_.Press(shortcut.key);
  }
}

void Shortcuts::Report(const std::string& what) {
  std::fprintf(stderr,
               "tapwing: %s (org.freedesktop.portal.GlobalShortcuts; KDE Plasma 5.27+, GNOME 48+ 有它): F5/F6/F7 "
               "只在 Tapwing 窗口有焦点时有效; 可在桌面设置中把它们绑定到 \"tapwing --hotkey F5\" 等\n",
               what.c_str());
}

}  // namespace platform::wayland
