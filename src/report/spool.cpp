#include "report/spool.h"

#include <memory>

#include "log/run_log.h"
#include "platform/error.h"
#include "prereq/who_else_may_change.h"
#include "report/report_text.h"

namespace tavrel {

void spoolUnsentReport(RunContext& run, const std::wstring& report) {
    RunState& state = run.state;
    writeLog(run, L"MSG : Webpost failed for 5 times. Tkt.");
    writeLog(run, L"MSG : Creating file in TreskPostLogs Folder.");

    const std::wstring folder = state.gInstallPath + L"TreskPostLogs";
    // Asked before anything is written: a link there would take the report anywhere. A
    // folder made below inherits what the installation folder allows.
    const std::wstring why = whoElseMayChange(*state.gFso, folder, ObjectPlace::UsedItself, true);
    if (!why.empty()) {
        throw Error(errnum::kPermissionDenied, why + L"; the report is not kept");
    }

    const std::wstring name = spoolFileName(state.gRegID, run.os.clock.now());
    const std::wstring created = state.gInstallPath + name;
    std::unique_ptr<TextStream> file = state.gFso->createTextFile(created);
    writeLog(run, L"MSG :writing " + report + L" to " + name);
    file->writeLine(report);
    file->close();

    if (!state.gFso->folderExists(folder)) {
        writeLog(run, L"MSG : TreskPostLogs folder does not exists.");
        state.gFso->createFolder(folder);
    }
    const std::wstring moved = folder + L"\\" + name;
    state.gFso->moveFile(created, moved);
    state.exitStatus = ExitStatus::Spooled;
    ignoreFailure([&] { changeTrace(run, [&](RunTrace& trace) { trace.spooledReport = moved; }); });
    writeLog(run, L"MSG : successfully moved " + created + L" to " + moved);
}

}  // namespace tavrel
