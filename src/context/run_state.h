// The values one run shares between its procedures, under the names the agent's
// tools know them by. They are filled in the order of the run; gUpTime is set to 0
// before the uptime is measured and then to what was found, gLogStream is set when the
// log is created and released when the run finishes, and exitStatus follows what the
// run has learnt of its outcome so far.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "context/exit_status.h"
#include "context/up_time.h"
#include "platform/file_system.h"
#include "platform/lock.h"
#include "platform/platform.h"

namespace tavrel {

// How far the run got with its log.
enum class LogStage { NotStarted, BeingCreated, Created, NotCreated };

// What the end's report tells of the run. It is read from the thread that says the last
// words, so it changes only under the trace's lock.
struct RunTrace {
    // Where the run log lies now; before it exists, where it is to be created.
    std::wstring logPath;
    LogStage logStage = LogStage::NotStarted;
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
        : os(platform),
          runTimeLimitSeconds(timeLimitSeconds),
          logLock(os.host.createLock()),
          traceLock(os.host.createLock()) {}

    Platform os;
    const std::uint32_t runTimeLimitSeconds;
    RunState state;
    // The run log's: held around every line and around the log's creation and
    // release, so that the stop line never cuts into another line.
    // Made first: the test doubles tell it from the trace's by that.
    const std::unique_ptr<Lock> logLock;
    // The trace's, held only to change or copy it, never around a file's use, so that
    // the end's report reads it also while the run is stuck inside a write. Taken after
    // the log's where both are held.
    const std::unique_ptr<Lock> traceLock;
};

/// Ends the process at once with the status the run has learnt.
[[noreturn]] inline void endRunAtOnce(RunContext& run) {
    run.os.host.endProcessNow(static_cast<std::uint32_t>(run.state.exitStatus));
}

}  // namespace tavrel
