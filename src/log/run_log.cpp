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
    // Last words wait while the log is made, so they never see it half handed over.
    const LockHold hold(*run.logLock);
    run.state.gLogStream = run.state.gFso->createTextFile(runLogPath(run));
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
        appendLogLine(run, message);  // the lock stays held: no line may follow this one
    }
}

}  // namespace tavrel
