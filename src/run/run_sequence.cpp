#include "run/run_sequence.h"

#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>

#include "log/run_log.h"
#include "platform/error.h"
#include "prereq/scripting_runtime.h"
#include "prereq/web_post_component.h"
#include "report/web_post.h"
#include "run/run_finish.h"
#include "settings/registry_settings.h"
#include "uptime/tick_fallback.h"
#include "uptime/wmi_uptime.h"

namespace tavrel {

namespace {

constexpr std::wstring_view kAgentSubKey = L"Software\\QUENDA";

[[noreturn]] void endWithLines(RunContext& run, std::initializer_list<std::wstring> lines) {
    for (const auto& line : lines) {
        writeLog(run, line);
    }
    run.os.host.endProcessNow();
}

RegistryKey openAgentKey(RunContext& run) {
    RegistryOpenResult opened = run.os.registry.openKey(
        RegistryRoot::LocalMachine, std::wstring(kAgentSubKey), 0, kKeyAllAccess);
    if (opened.resultCode != 0) {
        endWithLines(run, {L"MSG : Registry is missing", L"MSG : Application Completed"});
    }
    if (opened.key.isNull()) {
        run.os.host.endProcessNow();
    }
    return std::move(opened.key);
}

void readAgentIdentity(RunContext& run, const RegistryKey& agentKey) {
    RunState& state = run.state;
    if (!getMemberID(run, agentKey)) {
        endWithLines(run, {L"MSG : MemberID is missing.", L"MSG : Application Completed."});
    }
    if (!getSiteID(run, agentKey)) {
        endWithLines(run, {L"MSG : SITEID is missing.", L"MSG : Application Completed."});
    }
    if (!checkAgentType(run, agentKey)) {
        endWithLines(run, {L"MSG : Application Completed."});
    }

    writeLog(run, L"MSG : Getting Installation Path");
    state.gInstallPath = getInstallationPath(run, agentKey);
    if (!state.gInstallPath.empty() && !state.gFso->folderExists(state.gInstallPath)) {
        endWithLines(run, {L"MSG : QUENTA Folder [" + state.gInstallPath + L"] is missing",
                           L"MSG : Application Completed"});
    }
    writeLog(run, L"MSG : Installation Path [" + state.gInstallPath + L"]");

    writeLog(run, L"MSG : Getting REGID from Registry.");
    state.gRegID = readRegistryValue(run, agentKey, L"REGID");
    if (state.gRegID.empty()) {
        endWithLines(run, {L"MSG : REGID is missing.", L"MSG : Application Completed"});
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
    // A running copy owns the log file: leave everything to it.
    if (run.os.host.previousInstanceRunning()) {
        run.os.host.endProcessNow();
    }
    checkScriptingRuntime(run);

    run.state.gFso = run.os.fileSystems.createFileSystem();
    createRunLog(run);
    writeLog(run, L"MSG : Application Started.");

    RegistryKey agentKey = openAgentKey(run);
    readAgentIdentity(run, agentKey);
    agentKey.close();

    writeLog(run, L"MSG: Checking for Mavelin.dll.");
    checkWebPostComponent(run);
    measureUpTime(run);
    // Only the fallback's own failure stops the report; a WMI failure it made good does not.
    if (run.state.gUpTimeError.empty()) {
        sendWebPost(run);
    } else {
        writeLog(run, L"ERR : Failed to get System UPTime, cant send the webpost.");
    }
}

}  // namespace

void Main(RunContext& run) {
    withTrap([&] { runSequence(run); },
             [&](const Error& error) {
                 writeLog(run, L"ERR : Err using WMI Err Description : " + error.description());
             });
    // A completed run and a trapped one both end here, archiving the log.
    finishRun(run);
}

}  // namespace tavrel
