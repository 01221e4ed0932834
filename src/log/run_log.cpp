#include "log/run_log.h"

#include <memory>
#include <utility>

#include "platform/error.h"
#include "platform/text.h"

namespace tavrel {

namespace {

// The caller holds the log's lock.
void appendLogLine(RunContext& run, std::wstring_view message) {
    ignoreFailure([&] {
        // Remembered also without a log: then the end's event is the only trace.
        if (message.substr(0, 3) == L"ERR") {
            run.state.trace.lastErrorLine = message;
        }
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
    changeTrace(run, [&](RunTrace& trace) { trace.logPath = path; });
    std::unique_ptr<TextStream> log = run.state.gFso->createTextFile(path);
    const LockHold hold(*run.logLock);
    run.state.gLogStream = std::move(log);
    run.state.trace.logCreated = true;
}

void releaseRunLog(RunContext& run) {
    const LockHold hold(*run.logLock);
    // Closed while the lock keeps last words out; a close that fails changes nothing.
    if (run.state.gLogStream) {
        ignoreFailure([&] { run.state.gLogStream->close(); });
    }
    run.state.gLogStream.reset();
}

void writeLog(RunContext& run, std::wstring_view message) {
    const LockHold hold(*run.logLock);
    appendLogLine(run, message);
}

void writeLastLogLine(RunContext& run, std::wstring_view message, std::uint32_t waitMilliseconds) {
    if (run.logLock->tryAcquire(waitMilliseconds)) {
        run.logKeptByLastWords = true;
        appendLogLine(run, message);  // the lock stays held: no line may follow this one
    }
}

std::optional<RunTrace> copyTrace(RunContext& run, std::uint32_t waitMilliseconds) {
    if (run.logKeptByLastWords) {
        return run.state.trace;
    }
    if (!run.logLock->tryAcquire(waitMilliseconds)) {
        return std::nullopt;
    }
    std::optional<RunTrace> copy;
    ignoreFailure([&] { copy = run.state.trace; });
    run.logLock->release();
    return copy;
}

}  // namespace tavrel
