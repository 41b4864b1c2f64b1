#include "platform/key_state.h"

#include "platform/lazy_proc.h"
#include "platform/stdcall.h"

namespace platform {
namespace {

using GetAsyncKeyStateFn = std::int16_t(TW_STDCALL*)(int);
LazyProc<GetAsyncKeyStateFn> getAsyncKeyState{{"user32", Search::System}, "GetAsyncKeyState"};

}  // namespace

std::uint16_t GetAsyncKeyState(int virtualKey) {
  return static_cast<std::uint16_t>(getAsyncKeyState(virtualKey));
}

}  // namespace platform
