// How a run ended, as the process's exit status: what a scheduler, a deployment tool
// or a script reads to tell what became of the report. The numbers are part of the
// program's interface and never change meaning.
#pragma once

#include <cstdint>

namespace tavrel {

enum class ExitStatus : std::uint32_t {
    Delivered = 0,              // a try answered true
    AgentTypeNotSupported = 1,  // nothing to report on this machine
    Spooled = 2,                // kept as an unsent-report file in TreskPostLogs
    ReportLost = 3,             // neither delivered nor in TreskPostLogs
    NoUpTime = 4,               // no uptime, so no report
    WebPostLibraryMissing = 5,
    AgentSettingsMissing = 6,  // the agent key, one of its values, or the installation folder
    AnotherCopyRunning = 7,
    StoppedByError = 8,  // an error the run's own steps could not handle
    TimeLimitReached = 9,
    // Others than the system and the administrators may change the web-post library, the
    // installation folder or a folder above it: nothing is registered, loaded or written.
    OpenToOthers = 10,
};

}  // namespace tavrel
