// Which library the system would load for a class, before the object is created.
#pragma once

#include <string>

#include "context/run_state.h"

namespace tavrel {

/// Throws Error unless Mavlin.WebPost's InprocServer32, in the program's registry view,
/// names the library given, compared as Windows compares paths (without regard to case,
/// environment strings expanded, long names).
void requireClassLibrary(RunContext& run, const std::wstring& libraryPath);

}  // namespace tavrel
