#include "platform/gtk/gtk_skin_css.h"

#include <gtk/gtk.h>

#include <cstddef>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

#include "platform/gtk/gtk_handles.h"
#include "platform/text.h"

namespace platform::gtk {
namespace {

// Windows controls are far smaller than GTK's defaults: an 18-pixel field, a 20-pixel list.
constexpr char kFormCss[] = R"css(
.tapwing-form { font-size: 9pt; }
.tapwing-form entry { min-height: 0; min-width: 0; padding: 0 2px; border-radius: 0; }
.tapwing-form combobox button { min-height: 0; min-width: 0; padding: 0 1px 0 3px; border-radius: 0; }
.tapwing-form combobox arrow { min-height: 0; min-width: 12px; }
.tapwing-form combobox box { padding: 0; }
.tapwing-form frame > border { border-radius: 3px; }
.tapwing-form frame > label { margin: 0 2px 0 5px; }
menu menuitem { min-height: 0; padding: 1px 4px; }
)css";

std::string Hex(tapwing::skin::Rgb colour) {
  char text[8];
  std::snprintf(text, sizeof text, "#%02X%02X%02X", colour.r, colour.g, colour.b);
  return text;
}

std::string Quoted(std::string_view face) {
  std::string quoted = "\"";
  for (const char c : face) {
    if (c == '"' || c == '\\') quoted += '\\';
    quoted += c;
  }
  return quoted + '"';
}

void AddProvider(const std::string& css, guint priority) {
  GObjectPtr<GtkCssProvider> provider(gtk_css_provider_new());
  if (!gtk_css_provider_load_from_data(provider.get(), css.data(), static_cast<gssize>(css.size()), nullptr)) return;
  gtk_style_context_add_provider_for_screen(gdk_screen_get_default(), GTK_STYLE_PROVIDER(provider.get()), priority);
}

}  // namespace

void InstallFormStyle() {
  static bool installed = false;
  if (installed || gdk_screen_get_default() == nullptr) return;
  installed = true;
  AddProvider(kFormCss, GTK_STYLE_PROVIDER_PRIORITY_APPLICATION - 1);
}

std::string SkinCss(const tapwing::skin::Skin& skin) {
  std::string faces;
  for (const auto& face : skin.font_faces) faces += Quoted(platform::ToUtf8(face)) + ", ";
  char size[16];
  std::snprintf(size, sizeof size, "%d.%dpt", skin.font_tenths / 10, skin.font_tenths % 10);

  const std::string bg = Hex(skin.window_background), text = Hex(skin.window_text);
  const std::string border = Hex(skin.frame_border), caption = Hex(skin.frame_caption);
  const std::string fieldBg = Hex(skin.field_background), fieldText = Hex(skin.field_text);
  const std::string listBg = Hex(skin.list_background), listText = Hex(skin.list_text);
  const std::string selBg = Hex(skin.selection_background), selText = Hex(skin.selection_text);
  const std::string flat = "background-image: none; box-shadow: none; text-shadow: none; ";

  std::string css;
  css += "* { font-family: " + faces + "sans-serif; font-size: " + size + "; }\n";
  // Labels take the colour from their window; buttons keep the theme's face, as on Windows.
  css += ".background { background-color: " + bg + "; color: " + text + "; }\n";
  css += "frame > border { border: 1px solid " + border + "; }\n";
  css += "frame > label { color: " + caption + "; }\n";
  css += "entry { " + flat + "background-color: " + fieldBg + "; color: " + fieldText + "; caret-color: " + fieldText +
         "; border: 1px solid " + border + "; }\n";
  css += "entry:focus { border-color: " + caption + "; }\n";
  css += "entry selection { background-color: " + selBg + "; color: " + selText + "; }\n";
  css += "combobox button { " + flat + "background-color: " + listBg + "; color: " + listText + "; border: 1px solid " +
         border + "; }\n";
  css += "combobox button:focus, combobox button:checked { background-color: " + selBg + "; color: " + selText +
         "; border-color: " + caption + "; }\n";
  css += "menu, .menu { background-color: " + listBg + "; color: " + listText + "; }\n";
  css += "menu menuitem { color: " + listText + "; }\n";
  css += "menu menuitem:hover { background-color: " + selBg + "; color: " + selText + "; }\n";
  return css;
}

bool ApplySkinFile(std::string_view path) {
  std::ifstream file{std::string(path), std::ios::binary};
  if (!file) return false;
  // One byte more than the cap, so an oversized file is refused whole by the reader.
  std::string text(tapwing::skin::kMaxSkinBytes + 1, '\0');
  file.read(text.data(), static_cast<std::streamsize>(text.size()));
  text.resize(static_cast<std::size_t>(file.gcount()));
  const auto skin = tapwing::skin::SkinFromText(text);
  if (!skin || gdk_screen_get_default() == nullptr) return false;
  AddProvider(SkinCss(*skin), GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
  return true;
}

}  // namespace platform::gtk
