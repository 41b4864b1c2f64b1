// What Tapwing says of the way it reaches the pointer, in one table: the line on stderr when the
// route settles, and `--about-session`'s input and pointer-reading lines.
#pragma once

#include <string>

#include "platform/wayland/click_ways.h"
#include "platform/wayland/input_route.h"

namespace platform::wayland {

enum class InputPath { PortalLibei, PortalLibeiWithoutCasts, PortalNotify, PortalRefused, Wlr, WlrWithoutOverlay, Nothing };

struct PathText {
  const char* line;     // after "tapwing: Wayland 输入: "
  const char* input;    // --about-session; {version} and {why} are filled in
  const char* reading;  // --about-session
};

const PathText& TextOf(InputPath path);

// The path of a route in `state`; a portal's by how its clicks go and whether it casts.
InputPath PathOf(InputRoute::State state, Clicks clicks, bool casts, bool overlay);

// The stderr line for a settled route.
std::string SettledLine(InputPath path, const std::string& why);

// --about-session's input and pointer-reading lines. `version`: the portal's RemoteDesktop
// version; `why`: why there is no portal.
std::string AboutInput(InputPath path, unsigned version, const std::string& why);

}  // namespace platform::wayland
