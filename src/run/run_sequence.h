// The start-up procedure: the whole run, in one pass.
#pragma once

#include "context/run_state.h"

namespace tavrel {

/// Runs the sequence and makes every early exit, with the watchdog of the run's time
/// limit started first. Returns when the run has ended in order, its exit status in
/// the run state, and the caller ends the process with it; an end at once goes
/// through Host::endProcessNow and never returns.
void Main(RunContext& run);

}  // namespace tavrel
