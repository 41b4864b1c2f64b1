// Module1: draws an image file at half its pixel size into a device context through the GDI+
// flat interface, for the banner box. GDI+ lives only for the length of one DrawImageFile call.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace Module1 {

// Valid only inside one DrawImageFile call; StartGdiPlus clears the two object handles.
extern std::uintptr_t gdipToken;
extern std::uintptr_t gdipImage;
extern std::uintptr_t gdipGraphics;

// Draws the image at `path` with its top-left corner at (x, y), scaled to half its width and
// height. Shows nothing and reports nothing; a missing or unreadable file draws nothing.
void DrawImageFile(std::string_view path, std::uintptr_t hdc, std::int32_t x, std::int32_t y);

void StartGdiPlus();
void StopGdiPlus();

// The short (8.3) form of an existing file's path, or the empty string. Made from the wide path,
// so a folder name outside the ANSI code page keeps its short form; where the volume keeps no
// short names, the system hands back the long path.
std::string ToShortPath(std::string_view path);

}  // namespace Module1
