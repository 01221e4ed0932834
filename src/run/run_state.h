// The values one run shares between its procedures, under the names the agent's
// tools know them by. They are filled in the order of the run; gUpTime is set to 0
// before each measurement and to what it found, gLogStream is set when the log is
// created and released when it is archived, and exitStatus follows what the run
// has learnt of its outcome so far.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/exit_status.h"
#include "platform/file_system.h"
#include "platform/platform.h"
#include "uptime/up_time.h"

namespace tavrel {

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
    // Until the run learns better, an end can only be an error's.
    ExitStatus exitStatus = ExitStatus::StoppedByError;
};

// How long a run may hold the machine unless the build sets another limit.
inline constexpr std::uint32_t kDefaultRunTimeLimitSeconds = 30 * 60;

// One run: the operating system it talks to and the state it builds up.
struct RunContext {
    explicit RunContext(Platform platform,
                        std::uint32_t timeLimitSeconds = kDefaultRunTimeLimitSeconds)
        : os(platform), runTimeLimitSeconds(timeLimitSeconds) {}

    Platform os;
    const std::uint32_t runTimeLimitSeconds;
    RunState state;
};

/// Ends the process at once with the status the run has learnt.
[[noreturn]] inline void endRunAtOnce(RunContext& run) {
    run.os.host.endProcessNow(run.state.exitStatus);
}

}  // namespace tavrel
