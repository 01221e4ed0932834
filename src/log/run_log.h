// The per-run text log: its creation and the one procedure that writes to it.
#pragma once

#include <cstdint>
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

/// writeLog for the watchdog's thread, just before the process ends: keeps the log's
/// lock, so that no line of the run follows, and drops the line when the lock stays
/// busy for longer than the wait (the run stuck inside a write).
void writeLastLogLine(RunContext& run, std::wstring_view message, std::uint32_t waitMilliseconds);

/// Changes the run's trace under the log's lock, which the end's report takes to read it.
template <class Change>
void changeTrace(RunContext& run, Change&& change) {
    const LockHold hold(*run.logLock);
    change(run.state.trace);
}

/// A copy of the run's trace for the end's report: at once when the run is done or the
/// last words keep the log's lock, otherwise under that lock. Nothing when the lock stays
/// busy (the run stuck inside a write) for longer than the wait or the last words'.
std::optional<RunTrace> copyTrace(RunContext& run, std::uint32_t waitMilliseconds);

}  // namespace tavrel
