// Making sure the agent's web-post library is present and registered before the post.
#pragma once

#include "context/run_state.h"

namespace tavrel {

enum class WebPostLibrary { Ready, Missing, OpenToOthers };

/// Registers Mavlin.dll from the installation folder silently. When the file is
/// missing, or there is no installation folder, logs so and returns Missing: the run
/// has nothing to post with. When others may change the library, the installation folder
/// or a folder above it, logs which and how, registers nothing and returns OpenToOthers.
/// A presence test that fails skips the registration, and a registration that fails
/// is let be, both without a line; the check then returns Ready.
WebPostLibrary checkWebPostComponent(RunContext& run);

}  // namespace tavrel
