// The per-run text log: its creation and the one procedure that writes to it.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "context/run_state.h"
#include "platform/clock.h"
#include "platform/lock.h"

namespace tavrel {

inline constexpr std::wstring_view kRunLogName = L"TavrelLog.txt";

/// "MM/DD/YYYY HH:MM:SS" on the 24-hour clock, the colons being the given separator.
std::wstring formatLogTimestamp(const LocalTime& time, std::wstring_view timeSeparator);

/// The run log's path: the executable's folder followed by "\TavrelLog.txt".
std::wstring runLogPath(RunContext& run);

/// Creates the run log next to the executable, replacing an earlier one, and sets
/// gLogStream. Throws Error when the file cannot be created.
void createRunLog(RunContext& run);

/// Closes the run log and sets gLogStream to nothing. Never throws.
void releaseRunLog(RunContext& run);

/// Appends "timestamp<TAB>message" and CR LF. Never throws: a line that cannot be
/// written, or is written while no log is open, is dropped.
void writeLog(RunContext& run, std::wstring_view message);

/// The stop line of a run that the time limit or a fault stopped, said by the speaker:
/// written to the log, whose lock it keeps so that no line of the run follows, and noted
/// in the trace. Where a lock stays busy for longer than the last words may wait for it
/// (the run stuck inside a write, say), the line misses what that lock guards.
/// Never throws.
void writeLastLogLine(RunContext& run, std::wstring_view message);

/// Changes the run's trace under its lock, which the end's report takes to read it.
template <class Change>
void changeTrace(RunContext& run, Change&& change) {
    const LockHold hold(*run.traceLock);
    change(run.state.trace);
}

/// A copy of the run's trace for the end's report; nothing when its lock stays busy for
/// longer than the last words may wait (a fault of the run while it held it).
std::optional<RunTrace> copyTrace(RunContext& run);

}  // namespace tavrel
