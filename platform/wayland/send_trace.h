// TAPWING_TRACE_SENDS=<file>: the benchmark's view of when each button press goes out (one
// CLOCK_MONOTONIC line in µs per press), since a compositor may hand the clicks on in batches.
// Off unless the variable is set.
#pragma once

namespace platform::wayland {

void TracePressSent();

}  // namespace platform::wayland
