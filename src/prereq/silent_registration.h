// Registering a COM library with the system's registration tool, silently and without
// waiting for it to finish.
#pragma once

#include <string>

#include "context/run_state.h"

namespace tavrel {

/// Starts "regsvr32.exe -s" on the library, its path between double quotes, window
/// hidden, not waited for. Throws Error when it cannot be started.
void startSilentRegistration(RunContext& run, const std::wstring& libraryPath);

/// The one second the registration is given before the library is used.
void pauseForRegistration(RunContext& run);

/// Starts the registration, then pauses. Throws at the first step that fails, so a
/// tool that cannot be started gets no pause; a caller that wants the pause anyway
/// runs the two steps itself.
void registerLibrarySilently(RunContext& run, const std::wstring& libraryPath);

}  // namespace tavrel
