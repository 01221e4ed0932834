// Making sure the agent's web-post library is present and registered before the post.
#pragma once

#include "run/run_state.h"

namespace tavrel {

/// Registers Mavlin.dll from the installation folder silently. When the file is
/// missing, or there is no installation folder, logs so and ends the run through
/// finishRun. Any failure ends the check silently and the run goes on.
void checkWebPostComponent(RunContext& run);

}  // namespace tavrel
