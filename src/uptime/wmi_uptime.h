// The uptime as WMI's performance counters give it.
#pragma once

#include "context/run_state.h"

namespace tavrel {

/// Sets gUpTime to 0, then to the SystemUpTime of each instance the query returns.
/// False, with two error lines logged, when any step fails or no instance comes back.
bool getSystemUpTime(RunContext& run);

}  // namespace tavrel
