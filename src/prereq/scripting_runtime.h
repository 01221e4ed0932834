// Making sure the Scripting runtime can be created, registering it silently if it cannot.
#pragma once

#include "context/run_state.h"

namespace tavrel {

/// Tries to create Scripting.FileSystemObject; when that fails for want of
/// registration, registers scrrun.dll from the System32 folder and tries once more.
/// Runs before the log is open: logs nothing, and every failing step is skipped.
void checkScriptingRuntime(RunContext& run);

}  // namespace tavrel
