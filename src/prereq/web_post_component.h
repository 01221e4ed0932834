// Making sure the agent's web-post library is present and registered before the post.
#pragma once

#include "context/run_state.h"

namespace tavrel {

/// Registers Mavlin.dll from the installation folder silently. When the file is
/// missing, or there is no installation folder, logs so and returns false: the run
/// has nothing to post with. Any failure ends the check silently, returning true.
bool checkWebPostComponent(RunContext& run);

}  // namespace tavrel
