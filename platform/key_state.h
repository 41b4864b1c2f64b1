// Global key state, whichever application has the keyboard focus.
#pragma once

#include <cstdint>

namespace platform {

// Bit 15: the key is down now; bit 0: it was pressed since the previous query (the system keeps
// one such bit per key for the whole session).
std::uint16_t GetAsyncKeyState(int virtualKey);

}  // namespace platform
