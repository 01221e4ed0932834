#include "run/run_sequence.h"

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>

#include "log/run_log.h"
#include "platform/error.h"
#include "platform/text.h"
#include "prereq/scripting_runtime.h"
#include "prereq/web_post_component.h"
#include "report/web_post.h"
#include "run/run_event.h"
#include "run/run_finish.h"
#include "settings/registry_settings.h"
#include "uptime/tick_fallback.h"
#include "uptime/wmi_uptime.h"

namespace tavrel {

namespace {

constexpr std::wstring_view kAgentSubKey = L"Software\\QUENDA";

[[noreturn]] void endWithLines(RunContext& run, ExitStatus status,
                               std::initializer_list<std::wstring> lines) {
    run.state.exitStatus = status;
    for (const auto& line : lines) {
        writeLog(run, line);
    }
    endRunAtOnce(run);
}

[[noreturn]] void endWithoutLines(RunContext& run, ExitStatus status) {
    endWithLines(run, status, {});
}

// The run's time limit, its faults and its end's report, all given before the host
// starts the threads that use them.
void guardRun(RunContext& run) {
    RunGuard guard;
    guard.timeLimitSeconds = run.runTimeLimitSeconds;
    guard.timeLimitStatus = static_cast<std::uint32_t>(ExitStatus::TimeLimitReached);
    guard.timeLimitLine = [&run] {
        writeLastLogLine(run, L"ERR : Run stopped after the time limit of " +
                                  decimalText(run.runTimeLimitSeconds) + L" seconds.");
    };
    guard.faultStatus = static_cast<std::uint32_t>(ExitStatus::StoppedByError);
    guard.faultLine = [&run](std::uint32_t faultCode) {
        std::wstring line = L"ERR : Run stopped by an unexpected fault with code 0x";
        appendHex(line, faultCode, 8);
        writeLastLogLine(run, line + L".");
    };
    // From here on the fleet's tools learn how the run ended, but for a second copy,
    // which touches nothing, and a run ended from outside the process.
    guard.endReport = [&run](std::uint32_t status) { writeRunEvent(run, status); };
    run.os.host.guardRun(std::move(guard));
}

RegistryKey openAgentKey(RunContext& run) {
    RegistryOpenResult opened = run.os.registry.openKey(
        RegistryRoot::LocalMachine, std::wstring(kAgentSubKey), 0, kKeyAllAccess);
    if (opened.resultCode != 0) {
        endWithLines(run, ExitStatus::AgentSettingsMissing,
                     {L"MSG : Registry is missing", L"MSG : Application Completed"});
    }
    if (opened.key.isNull()) {
        endWithoutLines(run, ExitStatus::AgentSettingsMissing);
    }
    return std::move(opened.key);
}

void readAgentIdentity(RunContext& run, const RegistryKey& agentKey) {
    RunState& state = run.state;
    if (!getMemberID(run, agentKey)) {
        endWithLines(run, ExitStatus::AgentSettingsMissing,
                     {L"MSG : MemberID is missing.", L"MSG : Application Completed."});
    }
    if (!getSiteID(run, agentKey)) {
        endWithLines(run, ExitStatus::AgentSettingsMissing,
                     {L"MSG : SITEID is missing.", L"MSG : Application Completed."});
    }
    if (!checkAgentType(run, agentKey)) {
        // An agent of another type has nothing to report; one with no type is broken.
        endWithLines(run,
                     state.gAgentType.empty() ? ExitStatus::AgentSettingsMissing
                                              : ExitStatus::AgentTypeNotSupported,
                     {L"MSG : Application Completed."});
    }

    writeLog(run, L"MSG : Getting Installation Path");
    state.gInstallPath = getInstallationPath(run, agentKey);
    // A relative path would have the run register, load and write what lies under the
    // working folder or the current drive's root.
    if (!state.gInstallPath.empty() && (!isAbsoluteFolderPath(state.gInstallPath) ||
                                        !state.gFso->folderExists(state.gInstallPath))) {
        endWithLines(run, ExitStatus::AgentSettingsMissing,
                     {L"MSG : QUENTA Folder [" + state.gInstallPath + L"] is missing",
                      L"MSG : Application Completed"});
    }
    writeLog(run, L"MSG : Installation Path [" + state.gInstallPath + L"]");

    writeLog(run, L"MSG : Getting REGID from Registry.");
    state.gRegID = readRegistryValue(run, agentKey, L"REGID");
    if (state.gRegID.empty()) {
        endWithLines(run, ExitStatus::AgentSettingsMissing,
                     {L"MSG : REGID is missing.", L"MSG : Application Completed"});
    }
    writeLog(run, L"MSG : REGID  :--> " + state.gRegID);
}

void measureUpTime(RunContext& run) {
    writeLog(run, L"MSG : Getting System UPTime using WMI.");
    if (getSystemUpTime(run)) {
        return;
    }
    writeLog(run, L"ERR : Failed to get UP Time using WMI. Now getting using API.");
    if (!getUpTimeByAPI(run)) {
        writeLog(run, L"ERR : Failed to get UP Time using API.");
    }
}

void runSequence(RunContext& run) {
    guardRun(run);
    // A running copy owns the log file: leave everything to it.
    if (run.os.host.previousInstanceRunning()) {
        endWithoutLines(run, ExitStatus::AnotherCopyRunning);
    }
    checkScriptingRuntime(run);

    run.state.gFso = run.os.fileSystems.createFileSystem();
    createRunLog(run);
    writeLog(run, L"MSG : Application Started.");

    RegistryKey agentKey = openAgentKey(run);
    readAgentIdentity(run, agentKey);
    agentKey.close();

    writeLog(run, L"MSG: Checking for Mavelin.dll.");
    switch (checkWebPostComponent(run)) {
        case WebPostLibrary::Missing:
            run.state.exitStatus = ExitStatus::WebPostLibraryMissing;
            finishRun(run);
            endRunAtOnce(run);
        case WebPostLibrary::OpenToOthers:
            // Nothing moves into a folder others may change: the log stays where it is.
            endWithLines(run, ExitStatus::OpenToOthers, {L"MSG : Application Completed"});
        case WebPostLibrary::Ready:
            break;
    }
    measureUpTime(run);
    // Only the fallback's own failure stops the report; a WMI failure it made good does not.
    if (run.state.gUpTimeError.empty()) {
        sendWebPost(run);
    } else {
        run.state.exitStatus = ExitStatus::NoUpTime;
        writeLog(run, L"ERR : Failed to get System UPTime, cant send the webpost.");
    }
}

}  // namespace

void Main(RunContext& run) {
    withTrap([&] { runSequence(run); },
             [&](const Error& error) {
                 run.state.exitStatus = ExitStatus::StoppedByError;
                 writeLog(run, L"ERR : Err using WMI Err Description : " + error.description());
             });
    // A completed run and a trapped one both end here, archiving the log.
    finishRun(run);
}

}  // namespace tavrel
