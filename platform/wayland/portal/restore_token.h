// The portal's restore token: the one file Tapwing writes, so that the desktop's permission
// dialog does not come back at every start. $XDG_STATE_HOME/tapwing/restore-token, private to
// the user (0600), replaced whole on each write.
#pragma once

#include <string>

namespace platform::wayland {

// Where the token lives. A relative $XDG_STATE_HOME is invalid by the XDG rules and ignored.
std::string RestoreTokenFile();
// The token, or empty where there is none, it is not a regular file, too long or not UTF-8.
// Never blocks (a FIFO in its place reads as nothing).
std::string ReadRestoreToken(const std::string& file);
// Writes the token; says on stderr why not, once per program run.
void SaveRestoreToken(const std::string& file, const std::string& token);

}  // namespace platform::wayland
