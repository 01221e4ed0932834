// The values one run shares between its procedures, under the names the agent's
// tools know them by. They are filled in the order of the run; gUpTime is set to 0
// before each measurement and to what it found, gLogStream is set when the log is
// created and released when it is archived, and exitStatus follows what the run
// has learnt of its outcome so far.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "context/exit_status.h"
#include "context/up_time.h"
#include "platform/file_system.h"
#include "platform/lock.h"
#include "platform/platform.h"

namespace tavrel {

// What the end's report tells of the run. It is read from the thread that says the last
// words, so it changes only under the run log's lock.
struct RunTrace {
    // Where the run log lies now; before it exists, where it is to be created.
    std::wstring logPath;
    bool logCreated = false;
    // The last ERR line the run wrote, or would have written had it a log.
    std::wstring lastErrorLine;
    // The unsent-report file, once it is in TreskPostLogs.
    std::wstring spooledReport;
};

struct RunState {
    std::unique_ptr<FileSystem> gFso;
    std::unique_ptr<TextStream> gLogStream;
    std::wstring gMemberID;
    std::wstring gSiteID;
    std::wstring gAgentType;
    std::wstring gInstallPath;
    std::wstring gRegID;
    UpTime gUpTime;
    std::wstring gUpTimeError;
    // Set once the installation folder and the folders above it have been checked.
    bool installFolderChecked = false;
    // Until the run learns better, an end can only be an error's.
    ExitStatus exitStatus = ExitStatus::StoppedByError;
    RunTrace trace;
};

#ifndef TAVREL_DEFAULT_RUN_TIME_LIMIT_SECONDS
#error "TAVREL_DEFAULT_RUN_TIME_LIMIT_SECONDS must give the build's run time limit"
#endif

// How long a run may hold the machine unless it is given another limit.
inline constexpr std::uint32_t kDefaultRunTimeLimitSeconds = TAVREL_DEFAULT_RUN_TIME_LIMIT_SECONDS;

// One run: the operating system it talks to and the state it builds up.
struct RunContext {
    explicit RunContext(Platform platform,
                        std::uint32_t timeLimitSeconds = kDefaultRunTimeLimitSeconds)
        : os(platform), runTimeLimitSeconds(timeLimitSeconds), logLock(os.host.createLock()) {}

    Platform os;
    const std::uint32_t runTimeLimitSeconds;
    RunState state;
    // The run log's: held around every line and around the log's hand-over and
    // release, so that the last words of a stopped run never cut into another line.
    const std::unique_ptr<Lock> logLock;
    // How the last words fared with the log's lock, set on their thread: the end's report,
    // which comes after them there, holds it too when they keep it, and does not wait
    // again when the run stuck inside a write kept them out.
    enum class LastWordsLock { NotTried, Kept, Refused };
    LastWordsLock lastWordsLock = LastWordsLock::NotTried;
    // Set by the run's own thread once it changes nothing more, just before its end.
    std::atomic<bool> runDone{false};
};

/// Ends the process at once with the status the run has learnt.
[[noreturn]] inline void endRunAtOnce(RunContext& run) {
    run.runDone.store(true, std::memory_order_release);
    run.os.host.endProcessNow(static_cast<std::uint32_t>(run.state.exitStatus));
}

}  // namespace tavrel
