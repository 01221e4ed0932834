// Delivering the uptime report through the agent's web-post library.
#pragma once

#include <string_view>

#include "context/run_state.h"

namespace tavrel {

/// The web-post server used when the agent configures no endpoint.
std::wstring_view defaultWebPostHost();

/// Posts the report with up to five tries; after five failures it keeps the report
/// in the unsent-reports folder. An error stops it with one error line.
void sendWebPost(RunContext& run);

}  // namespace tavrel
