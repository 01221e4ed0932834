// The run's one event in the Application log, which tells the fleet's tools how it ended.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "context/run_state.h"

namespace tavrel {

inline constexpr std::wstring_view kEventSource = L"Tavrel";
/// A run's event ID is this plus its exit status.
inline constexpr std::uint32_t kFirstEventId = 1000;
/// The longest string an event carries, its cut mark included: the system refuses a whole
/// event for one string over 31,839 characters, and a library's error text can be longer.
inline constexpr std::size_t kEventStringCharacters = 4096;

/// Writes the event of a run that ends with `status`: Information for 0 and 1, a
/// Warning for 2, an Error for the rest; its first string is where the run log lies,
/// its second (from 2 on) the unsent-report file for 2 and the last ERR line for the
/// rest, each cut, when longer, to kEventStringCharacters with " [cut]" at its end.
/// Nothing for 7, as a second copy touches nothing, nor for a status no run ends with.
/// Never throws, and a failure changes nothing of the run.
void writeRunEvent(RunContext& run, std::uint32_t status);

}  // namespace tavrel
