// Where the files that ship with the program are: beside the program in the build tree, or in
// ../share/tapwing when installed (bin/tapwing).
// Implemented: both layouts. Not possible here: a program started through a path that no longer
// exists (/proc/self/exe then names a deleted file) finds nothing beside itself.
#pragma once

#include <string>
#include <string_view>

namespace platform::gtk {

// The folder of the running program, from /proc/self/exe.
std::string ProgramFolder();

// `name` ("Tapwing.PNG"; a leading separator is ignored) in the first of those folders that has
// it; beside the program when neither does.
std::string FindProgramFile(std::string_view folder, std::string_view name);

// The user's XDG folder named by `variable` ("XDG_CACHE_HOME"), else `underHome` in the home
// folder (".cache"). A relative value is invalid by the XDG rules and ignored.
std::string UserFolder(const char* variable, const char* underHome);

}  // namespace platform::gtk
