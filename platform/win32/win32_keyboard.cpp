#include "platform/win32/win32_keyboard.h"

#include <cstdint>

#include "platform/win32/lazy_proc.h"
#include "platform/win32/stdcall.h"

namespace platform::win32 {
namespace {

using GetAsyncKeyStateFn = std::int16_t(TW_STDCALL*)(int);
LazyProc<GetAsyncKeyStateFn> getAsyncKeyState{{"user32", Search::System}, "GetAsyncKeyState"};

int VirtualKey(Hotkey key) {
  switch (key) {
    case Hotkey::F5: return 0x74;
    case Hotkey::F6: return 0x75;
    case Hotkey::F7: return 0x76;
  }
  return 0;
}

}  // namespace

bool Win32Keyboard::Pressed(Hotkey key) {
  return static_cast<std::uint16_t>(getAsyncKeyState(VirtualKey(key))) == 0x8001;
}

}  // namespace platform::win32
