// The look: a compact layout style for the form (Windows-sized controls), and the Korva skin
// file turned into a GtkCssProvider. The skin is read with the same reader and format as the
// Windows skin library (components/skin/skin_format.h).
//
// Implemented: every colour key and the font of the skin format; the window, the frame and its
// legend, the fields, the lists with their open menus, selections and message boxes.
// Not possible here: GTK's own theme draws the shapes (rounded corners, the list arrow).
#pragma once

#include <string>
#include <string_view>

#include "skin_format.h"

namespace platform::gtk {

// The style class of the form's window; the layout style applies inside it only.
inline constexpr char kFormStyleClass[] = "tapwing-form";

// Installs the layout style once per process.
void InstallFormStyle();

// The skin as CSS for the whole program (message boxes included).
std::string SkinCss(const tapwing::skin::Skin& skin);

// Reads the skin file and applies it; a missing or broken file leaves GTK's look, silently.
// Returns whether the skin was applied.
bool ApplySkinFile(std::string_view path);

}  // namespace platform::gtk
