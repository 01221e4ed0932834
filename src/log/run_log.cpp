#include "log/run_log.h"

#include <cstdint>
#include <memory>
#include <utility>

#include "platform/error.h"
#include "platform/host.h"
#include "platform/text.h"

namespace tavrel {

namespace {

// The trace's lock is held only while a few strings change or are copied: a short wait
// tells a holder that faulted under it from a busy one, and leaves the last words their
// time for the log's lock and the report.
constexpr std::uint32_t kTraceLockWaitMilliseconds = kLastWordsLockWaitMilliseconds / 4;

bool isErrorLine(std::wstring_view message) {
    return message.substr(0, 3) == L"ERR";
}

// The caller holds the log's lock. Throws Error when the line cannot be written.
void appendStampedLine(RunContext& run, std::wstring_view message) {
    if (!run.state.gLogStream) {
        return;
    }
    std::wstring line = formatLogTimestamp(run.os.clock.now(), run.os.clock.timeSeparator());
    line += L'\t';
    line += message;
    run.state.gLogStream->writeLine(line);
}

}  // namespace

std::wstring formatLogTimestamp(const LocalTime& time, std::wstring_view timeSeparator) {
    std::wstring out;
    appendPadded(out, time.month, 2);
    out += L'/';
    appendPadded(out, time.day, 2);
    out += L'/';
    appendPadded(out, time.year, 4);
    out += L' ';
    appendPadded(out, time.hour, 2);
    out += timeSeparator;
    appendPadded(out, time.minute, 2);
    out += timeSeparator;
    appendPadded(out, time.second, 2);
    return out;
}

std::wstring runLogPath(RunContext& run) {
    return run.os.host.executableFolder() + L"\\" + std::wstring(kRunLogName);
}

void createRunLog(RunContext& run) {
    const std::wstring path = runLogPath(run);
    changeTrace(run, [&](RunTrace& trace) {
        trace.logPath = path;
        trace.logStage = LogStage::BeingCreated;
    });
    // The stop line waits while the log is made, so it never finds it half handed over.
    const LockHold hold(*run.logLock);
    run.state.gLogStream = withTrap(
        [&] { return run.state.gFso->createTextFile(path); },
        [&](const Error& error) -> std::unique_ptr<TextStream> {
            changeTrace(run, [](RunTrace& trace) { trace.logStage = LogStage::NotCreated; });
            throw error;
        });
    changeTrace(run, [](RunTrace& trace) { trace.logStage = LogStage::Created; });
}

void releaseRunLog(RunContext& run) {
    const LockHold hold(*run.logLock);
    // Closed while the lock keeps the stop line out; a close that fails changes nothing.
    if (run.state.gLogStream) {
        ignoreFailure([&] { run.state.gLogStream->close(); });
    }
    run.state.gLogStream.reset();
}

void writeLog(RunContext& run, std::wstring_view message) {
    const LockHold hold(*run.logLock);
    ignoreFailure([&] {
        // Remembered also without a log: then the end's report is the only trace.
        if (isErrorLine(message)) {
            changeTrace(run, [&](RunTrace& trace) { trace.lastErrorLine = message; });
        }
        appendStampedLine(run, message);
    });
}

void writeLastLogLine(RunContext& run, std::wstring_view message) {
    // Every wait is bounded, and the log's lock comes first, as wherever both are held.
    // The line goes into the trace also when the run, stuck inside a write, keeps it out
    // of the log: the end's report then still has it.
    const bool logKept = run.logLock->tryAcquire(kLastWordsLockWaitMilliseconds);
    const bool traceHeld =
        isErrorLine(message) && run.traceLock->tryAcquire(kTraceLockWaitMilliseconds);
    ignoreFailure([&] {
        if (traceHeld) {
            run.state.trace.lastErrorLine = message;
        }
        if (logKept) {
            appendStampedLine(run, message);
        }
    });
    if (traceHeld) {
        run.traceLock->release();
    }
    // The log's lock stays held: no line may follow this one.
}

std::optional<RunTrace> copyTrace(RunContext& run) {
    std::optional<RunTrace> copy;
    if (run.traceLock->tryAcquire(kTraceLockWaitMilliseconds)) {
        ignoreFailure([&] { copy = run.state.trace; });
        run.traceLock->release();
    }
    return copy;
}

}  // namespace tavrel
