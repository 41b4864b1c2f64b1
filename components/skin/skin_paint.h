// Drawing the parts of standard controls that colour messages alone cannot reach: the group box
// frame and caption, the closed drop-down list, the edit border, and message box text that has
// to grow when the skin font is larger than the one the box was measured with.
#pragma once

#include <windows.h>

#include "skin_theme.h"

namespace tapwing::skin {

// Whole client: background (never over child or sibling windows), 1 px frame, caption.
void PaintGroupBox(Theme& theme, HWND box, HDC dc);

// Whole client of a CBS_DROPDOWNLIST combo: face, border, arrow and the selected entry's text.
void PaintDropDownList(Theme& theme, HWND combo, HDC dc);

// Single-line edits with a 3-D edge get a flat 1 px border instead (accent colour when focused).
bool HasFlatFrame(HWND edit);
void PaintEditFrame(Theme& theme, HWND edit);

// The message text of a MessageBox dialog, or null when the dialog is something else.
HWND MessageBoxText(HWND dialog);
// Resizes the text and the box so the text fits in the skin font; moves the buttons along.
void FitMessageBox(Theme& theme, HWND dialog, HWND text);

}  // namespace tapwing::skin
