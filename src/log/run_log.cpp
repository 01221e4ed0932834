#include "log/run_log.h"

#include <memory>
#include <utility>

#include "platform/error.h"

namespace tavrel {

namespace {

void appendTwoDigits(std::wstring& out, int value) {
    out += static_cast<wchar_t>(L'0' + (value / 10) % 10);
    out += static_cast<wchar_t>(L'0' + value % 10);
}

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
    appendTwoDigits(out, time.month);
    out += L'/';
    appendTwoDigits(out, time.day);
    out += L'/';
    appendTwoDigits(out, time.year / 100);
    appendTwoDigits(out, time.year % 100);
    out += L' ';
    appendTwoDigits(out, time.hour);
    out += timeSeparator;
    appendTwoDigits(out, time.minute);
    out += timeSeparator;
    appendTwoDigits(out, time.second);
    return out;
}

std::wstring runLogPath(RunContext& run) {
    return run.os.host.executableFolder() + L"\\" + std::wstring(kRunLogName);
}

void createRunLog(RunContext& run) {
    std::unique_ptr<TextStream> log = run.state.gFso->createTextFile(runLogPath(run));
    const LogLock lock(run.os.host);
    run.state.gLogStream = std::move(log);
}

void releaseRunLog(RunContext& run) {
    const LogLock lock(run.os.host);
    // Closed while the lock keeps last words out; a close that fails changes nothing.
    if (run.state.gLogStream) {
        ignoreFailure([&] { run.state.gLogStream->close(); });
    }
    run.state.gLogStream.reset();
}

void writeLog(RunContext& run, std::wstring_view message) {
    const LogLock lock(run.os.host);
    appendLogLine(run, message);
}

void writeLastLogLine(RunContext& run, std::wstring_view message, std::uint32_t waitMilliseconds) {
    if (run.os.host.tryLockLog(waitMilliseconds)) {
        appendLogLine(run, message);  // the lock stays held: no line may follow this one
    }
}

}  // namespace tavrel
