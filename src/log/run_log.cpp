#include "log/run_log.h"

#include <memory>
#include <utility>

#include "platform/error.h"
#include "platform/host.h"
#include "platform/text.h"

namespace tavrel {

namespace {

bool isErrorLine(std::wstring_view message) {
    return message.substr(0, 3) == L"ERR";
}

// The caller holds the log's lock.
void appendStampedLine(RunContext& run, std::wstring_view message) {
    ignoreFailure([&] {
        if (!run.state.gLogStream) {
            return;
        }
        std::wstring line = formatLogTimestamp(run.os.clock.now(), run.os.clock.timeSeparator());
        line += L'\t';
        line += message;
        run.state.gLogStream->writeLine(line);
    });
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
    // Remembered also without a log: then the end's report is the only trace.
    if (isErrorLine(message)) {
        ignoreFailure(
            [&] { changeTrace(run, [&](RunTrace& trace) { trace.lastErrorLine = message; }); });
    }
    appendStampedLine(run, message);
}

void writeLastLogLine(RunContext& run, std::wstring_view message) {
    // Noted first, with a bounded wait as every step here: the event then has the line
    // also when the run, stuck inside a write, keeps it out of the log.
    if (isErrorLine(message) && run.traceLock->tryAcquire(kLastWordsLockWaitMilliseconds)) {
        ignoreFailure([&] { run.state.trace.lastErrorLine = message; });
        run.traceLock->release();
    }
    if (run.logLock->tryAcquire(kLastWordsLockWaitMilliseconds)) {
        appendStampedLine(run, message);  // the lock stays held: no line may follow this one
    }
}

std::optional<RunTrace> copyTrace(RunContext& run) {
    std::optional<RunTrace> copy;
    if (run.traceLock->tryAcquire(kLastWordsLockWaitMilliseconds)) {
        ignoreFailure([&] { copy = run.state.trace; });
        run.traceLock->release();
    }
    return copy;
}

}  // namespace tavrel
