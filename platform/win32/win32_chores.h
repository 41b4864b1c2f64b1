// The start-up chores on Windows: where the program's files are, registering the input
// component, attaching the skin. Builds without <windows.h>: everything it calls is bound through
// the lazy binder, so the native unit tests drive it with stand-ins.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace platform::win32 {

// `name` in `folder`, joined with one separator (a drive root already ends in one).
std::string JoinProgramFile(std::string folder, std::string_view name);

// Registers the component in `dll` in-process: its own DllRegisterServer, from that file by full
// path, on this thread. No command interpreter sees the path, so no folder name can rewrite the
// command, and the registration is done before the window takes input. Returns the component's
// status, or a failure status when the file or its entry is missing; the caller stays silent.
std::int32_t RegisterComponent(std::string_view dll);

// Hands the skin file to KorvaSkin.dll (program folder, then system directory). The library takes
// ANSI paths: a path the code page cannot hold goes as its short form, which is plain ASCII where
// the volume keeps short names, and otherwise, wide, to our library's KorvaSkin_AttachExW.
// Throws BindError when the library or the entry it needs is missing.
void AttachSkin(std::string_view skinFile);

}  // namespace platform::win32
