// The start-up procedure: the whole run, in one pass.
#pragma once

#include "run/run_state.h"

namespace tavrel {

/// Runs the sequence and makes every early exit. Returns when the run has ended
/// in order; an end at once goes through Host::endProcessNow and never returns.
void Main(RunContext& run);

}  // namespace tavrel
