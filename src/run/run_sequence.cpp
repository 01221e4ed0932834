#include "run/run_sequence.h"

#include "log/run_log.h"
#include "platform/error.h"

namespace tavrel {

namespace {

constexpr std::wstring_view kAgentSubKey = L"Software\\QUENDA";

[[noreturn]] void endWithLines(RunContext& run, std::initializer_list<std::wstring_view> lines) {
    for (auto line : lines) {
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

void runSequence(RunContext& run) {
    // A running copy owns the log file: leave everything to it.
    if (run.os.host.previousInstanceRunning()) {
        run.os.host.endProcessNow();
    }

    run.state.gFso = run.os.fileSystems.createFileSystem();
    createRunLog(run);
    writeLog(run, L"MSG : Application Started.");

    RegistryKey agentKey = openAgentKey(run);
    // The identity readers take over from here.
}

}  // namespace

void Main(RunContext& run) {
    withTrap([&] { runSequence(run); },
             [&](const Error& error) {
                 writeLog(run, L"ERR : Err using WMI Err Description : " + error.description());
             });
}

}  // namespace tavrel
