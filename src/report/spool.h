// Keeping a report that could not be delivered.
#pragma once

#include <string>

#include "context/run_state.h"

namespace tavrel {

/// Writes the report into the installation folder under its spool name and moves it
/// into TreskPostLogs, creating that folder when missing. Throws Error.
void spoolUnsentReport(RunContext& run, const std::wstring& report);

}  // namespace tavrel
