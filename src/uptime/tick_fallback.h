// The uptime from the system's millisecond count, when WMI gives none.
#pragma once

#include <cstdint>

#include "context/run_state.h"

namespace tavrel {

/// Milliseconds to a whole number of units, halves to the even neighbour.
std::uint64_t roundToUnits(std::uint64_t milliseconds, std::uint64_t unit);

/// Leaves a non-zero gUpTime alone; otherwise sets it from the tick count and logs the
/// minutes. False, with gUpTimeError set and logged, on an error.
bool getUpTimeByAPI(RunContext& run);

}  // namespace tavrel
