// Which library the system would load for a class, before the object is created.
#pragma once

#include <string>

#include "context/run_state.h"

namespace tavrel {

/// The identity of the library given, once the web-post class, in the program's
/// registry view, is known to load that file: no TreatAs, and an InprocServer32 that
/// names it by a full path (expanded only where the value is expandable, as COM does).
/// Throws Error otherwise.
FileIdentity requireClassLibrary(RunContext& run, const std::wstring& libraryPath);

}  // namespace tavrel
