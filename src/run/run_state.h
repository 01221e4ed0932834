// The values one run shares between its procedures, under the names the agent's
// tools know them by. Each is written once, in the order of the run.
#pragma once

#include <memory>
#include <string>

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
};

// One run: the operating system it talks to and the state it builds up.
struct RunContext {
    explicit RunContext(Platform platform) : os(platform) {}

    Platform os;
    RunState state;
};

}  // namespace tavrel
