// The end of every run that ends in order: the closing lines and the log's move into
// the agent's archive.
#pragma once

#include "context/run_state.h"

namespace tavrel {

/// Writes the closing lines, releases the run log and moves it into the installation
/// folder's ApplicationLog folder, replacing the previous run's copy. Every step that
/// fails is skipped. Ends the process itself when the archive folder was missing;
/// otherwise returns, and the caller ends the process. With no installation path it
/// only writes the closing line and releases the log, which stays next to the
/// executable, and returns.
void finishRun(RunContext& run);

}  // namespace tavrel
