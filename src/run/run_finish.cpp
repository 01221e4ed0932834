#include "run/run_finish.h"

#include <cstdint>
#include <string>

#include "log/run_log.h"
#include "platform/error.h"
#include "prereq/who_else_may_change.h"

namespace tavrel {

namespace {

constexpr std::int32_t kObjectNotSet = 91;

// finishRun can come from Main's trap before gFso exists; using it then is a failing
// step like any other.
FileSystem& fileSystemOf(RunContext& run) {
    if (!run.state.gFso) {
        throw Error(kObjectNotSet, L"Object variable or With block variable not set");
    }
    return *run.state.gFso;
}

// archivedLog as the archive folder names it, for the end's report.
void moveRunLog(RunContext& run, const std::wstring& archivedLog, const std::wstring& shownAs) {
    ignoreFailure([&] {
        fileSystemOf(run).moveFile(runLogPath(run), archivedLog);
        changeTrace(run, [&](RunTrace& trace) { trace.logPath = shownAs; });
    });
}

// A link in a folder others may change would take the log, and the deletion of the
// previous one, anywhere. Asked before either.
std::wstring whoElseMayChangeArchive(RunContext& run, const std::wstring& archiveFolder) {
    if (!run.state.gFso) {
        return {};  // no log either: nothing to move
    }
    std::wstring why;
    if (!run.state.installFolderChecked) {
        why = whoElseMayChangeFolder(*run.state.gFso, run.state.gInstallPath);
    }
    // A folder the finish makes inherits what the installation folder allows.
    return why.empty()
               ? whoElseMayChange(*run.state.gFso, archiveFolder, ObjectPlace::UsedItself, true)
               : why;
}

}  // namespace

void finishRun(RunContext& run) {
    RunState& state = run.state;

    // Without an installation folder there is nowhere to archive to, and paths built
    // from empty text would point at the working folder and the drive's root.
    if (state.gInstallPath.empty()) {
        writeLog(run, L"MSG : Application Completed");
        releaseRunLog(run);
        return;
    }

    const std::wstring archiveFolder = state.gInstallPath + L"ApplicationLog";
    // The doubled backslash and the other letter case name the same folder.
    const std::wstring archivedLog = state.gInstallPath + L"\\Applicationlog\\TavrelLog.txt";
    const std::wstring shownAs = archiveFolder + L"\\" + std::wstring(kRunLogName);

    const std::wstring why = whoElseMayChangeArchive(run, archiveFolder);
    if (!why.empty()) {
        logOthersMayChange(run, why, L"; the log stays next to the executable.");
        writeLog(run, L"MSG : Application Completed");
        releaseRunLog(run);
        return;
    }

    ignoreFailure([&] {
        if (answerOrYes([&] { return fileSystemOf(run).fileExists(archivedLog); })) {
            fileSystemOf(run).deleteFile(archivedLog);
        }
    });
    writeLog(run, L"MSG : Moving TavrelLog.txt to QUENDA\\Applicationlog");
    writeLog(run, L"MSG : Checking QUENDA\\Applicationlog folder exist or not");

    const auto folderMissing = [&] {
        return answerOrYes([&] { return !fileSystemOf(run).folderExists(archiveFolder); });
    };
    if (folderMissing()) {
        writeLog(run, L"MSG : QUENDA\\ApplicationLog Folder does not exist");
        writeLog(run, L"MSG : Creating QUENDA\\Applicationlog Folder");
        writeLog(run, L"MSG : Application Completed");
        // Released before the move, so the archived file holds every line.
        releaseRunLog(run);
        ignoreFailure([&] {
            if (folderMissing()) {
                fileSystemOf(run).createFolder(archiveFolder);
            }
        });
        moveRunLog(run, archivedLog, shownAs);
        endRunAtOnce(run);
    }

    writeLog(run, L"MSG : Application Completed");
    releaseRunLog(run);
    moveRunLog(run, archivedLog, shownAs);
}

}  // namespace tavrel
