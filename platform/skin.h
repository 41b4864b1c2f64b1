// The skin library that restyles the program's windows.
#pragma once

#include <string_view>

namespace platform {

// Hands the skin file to "KorvaSkin.dll" (program folder or system directory only). Raises
// BindError when the library or its entry point is missing.
void AttachSkin(std::string_view skinFile, std::string_view password);

}  // namespace platform
