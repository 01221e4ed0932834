#include "run/run_finish.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <set>
#include <string>
#include <vector>

#include "log/run_log.h"
#include "support/fake_platform.h"
#include "support/log_lines.h"

namespace tavrel {
namespace {

using fake::Ending;
using fake::FakePlatform;
using Lines = std::vector<std::wstring>;
using Ops = std::vector<std::string>;

const std::wstring kArchiveFolder = std::wstring(FakePlatform::kInstallPath) + L"ApplicationLog";
const std::wstring kArchivedLog = kArchiveFolder + L"\\TavrelLog.txt";

const std::wstring kStarted = L"MSG : Application Started.";
const std::wstring kMoving = L"MSG : Moving TavrelLog.txt to QUENDA\\Applicationlog";
const std::wstring kChecking = L"MSG : Checking QUENDA\\Applicationlog folder exist or not";
const std::wstring kNoFolder = L"MSG : QUENDA\\ApplicationLog Folder does not exist";
const std::wstring kCreating = L"MSG : Creating QUENDA\\Applicationlog Folder";
const std::wstring kCompleted = L"MSG : Application Completed";
const Lines kFolderPresentLines = {kStarted, kMoving, kChecking, kCompleted};
const Lines kFolderAbsentLines = {kStarted, kMoving, kChecking, kNoFolder, kCreating, kCompleted};

// A run that has logged its start and reaches finishRun with the agent's folder known.
struct FinishingRun {
    explicit FinishingRun(bool withInstallPath = true, bool withLog = true) {
        if (withInstallPath) {
            run.state.gInstallPath = FakePlatform::kInstallPath;
        }
        if (withLog) {
            run.state.gFso = os.fileSystems.createFileSystem();
            createRunLog(run);
            writeLog(run, kStarted);
        }
        firstCall = os.ops.calls().size();
    }

    Ending finish() {
        try {
            finishRun(run);
            return Ending::Returned;
        } catch (const fake::ProcessEnded&) {
            return Ending::AtOnce;
        }
    }

    // The file operations and the end, in the order finishRun made them.
    Ops fileOperations() const {
        static const std::set<std::string> kept = {"FileExists",   "DeleteFile", "FolderExists",
                                                   "CreateFolder", "MoveFile",   "EndProcess"};
        Ops ops;
        for (std::size_t i = firstCall; i < os.ops.calls().size(); ++i) {
            if (kept.count(os.ops.calls()[i].operation) != 0) {
                ops.push_back(os.ops.calls()[i].operation);
            }
        }
        return ops;
    }

    // Fails the next call of the operation, or every call from the next one on.
    void failNext(const std::string& operation, bool persistent) {
        os.ops.failCall(operation, os.ops.count(operation) + 1, Error(70, L"Permission denied"),
                        persistent);
    }

    Lines archivedMessages() const {
        const auto text = os.tree.content(kArchivedLog);
        return text ? fake::messagesOf(*text) : Lines{};
    }

    FakePlatform os;
    RunContext run{os.view()};
    std::size_t firstCall = 0;
};

TEST(FinishRun, ArchivesTheLogIntoTheAgentsFolder) {
    struct Case {
        const char* what;
        void (*arrange)(FakePlatform&);
        Ending ending;
        Lines lines;
        bool archived;                 // else the log stays next to the executable
        std::wstring folderName;       // the archive folder's name afterwards
        std::wstring archivedContent;  // what the archive holds when the log stays
    };
    const auto previous = [](FakePlatform& os) {
        os.tree.addFolder(kArchiveFolder);
        os.tree.addFile(kArchivedLog, L"previous run\r\n");
    };
    const Case cases[] = {
        {"previous log replaced", previous, Ending::Returned, kFolderPresentLines, true,
         kArchiveFolder, L""},
        {"folder absent is created", [](FakePlatform&) {}, Ending::AtOnce, kFolderAbsentLines, true,
         kArchiveFolder, L""},
        {"folder in other letter case kept",
         [](FakePlatform& os) {
             os.tree.addFolder(FakePlatform::kInstallPath + std::wstring(L"APPLICATIONLOG"));
             os.tree.addFile(kArchivedLog, L"previous run\r\n");
         },
         Ending::Returned, kFolderPresentLines, true,
         FakePlatform::kInstallPath + std::wstring(L"APPLICATIONLOG"), L""},
        {"read-only previous log survives",
         [](FakePlatform& os) {
             os.tree.addFolder(kArchiveFolder);
             os.tree.addFile(kArchivedLog, L"previous run\r\n", true);
         },
         Ending::Returned, kFolderPresentLines, false, kArchiveFolder, L"previous run\r\n"},
        // Nothing is deleted or moved there: the previous log stays too.
        {"others may change the folder",
         [](FakePlatform& os) {
             os.tree.addFolder(kArchiveFolder);
             os.tree.addFile(kArchivedLog, L"previous run\r\n");
             os.tree.openToOthers(kArchiveFolder);
         },
         Ending::Returned,
         {kStarted,
          L"ERR : " + kArchiveFolder +
              L" may be changed by BUILTIN\\Users (FILE_WRITE_DATA); the log stays next to the "
              L"executable.",
          kCompleted},
         false,
         kArchiveFolder,
         L"previous run\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FinishingRun f;
        c.arrange(f.os);

        EXPECT_EQ(f.finish(), c.ending);
        EXPECT_EQ(f.run.state.gLogStream, nullptr);
        EXPECT_EQ(f.os.tree.liveStreams, 0);
        EXPECT_EQ(f.os.tree.folderName(kArchiveFolder), c.folderName);
        if (c.archived) {
            EXPECT_EQ(f.archivedMessages(), c.lines);
            EXPECT_FALSE(f.os.tree.hasFile(f.os.exeLogPath()));
        } else {
            EXPECT_EQ(f.os.exeLogMessages(), c.lines);
            EXPECT_EQ(f.os.tree.content(kArchivedLog), c.archivedContent);
        }
    }
}

TEST(FinishRun, EachFailingStepIsSkippedAndTheNextOnesRun) {
    struct Case {
        const char* operation;
        bool persistent;
        bool folderPresent;
        Ops ops;
        Ending ending;
        Lines lines;
        bool archived;
    };
    const Ops present = {"FileExists", "DeleteFile", "FolderExists", "MoveFile"};
    const Case cases[] = {
        // A failed existence test still lets the delete run, so the old copy goes.
        {"FileExists", false, true, present, Ending::Returned, kFolderPresentLines, true},
        {"DeleteFile", false, true, present, Ending::Returned, kFolderPresentLines, false},
        {"WriteLine",
         false,
         true,
         present,
         Ending::Returned,
         {kStarted, kChecking, kCompleted},
         true},
        // A failed folder test counts as a missing folder, once for the branch and
        // once for the creation.
        {"FolderExists",
         false,
         true,
         {"FileExists", "DeleteFile", "FolderExists", "FolderExists", "MoveFile", "EndProcess"},
         Ending::AtOnce,
         kFolderAbsentLines,
         true},
        {"FolderExists",
         true,
         true,
         {"FileExists", "DeleteFile", "FolderExists", "FolderExists", "CreateFolder", "MoveFile",
          "EndProcess"},
         Ending::AtOnce,
         kFolderAbsentLines,
         true},
        {"CreateFolder",
         false,
         false,
         {"FileExists", "FolderExists", "FolderExists", "CreateFolder", "MoveFile", "EndProcess"},
         Ending::AtOnce,
         kFolderAbsentLines,
         false},
        {"MoveFile", false, true, present, Ending::Returned, kFolderPresentLines, false},
        // Without the executable's folder there is no source to move.
        {"ExecutableFolder",
         false,
         true,
         {"FileExists", "DeleteFile", "FolderExists"},
         Ending::Returned,
         kFolderPresentLines,
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.operation) + (c.persistent ? " always" : " once"));
        FinishingRun f;
        if (c.folderPresent) {
            f.os.tree.addFolder(kArchiveFolder);
            f.os.tree.addFile(kArchivedLog, L"previous run\r\n");
        }
        f.failNext(c.operation, c.persistent);

        EXPECT_EQ(f.finish(), c.ending);
        EXPECT_EQ(f.fileOperations(), c.ops);
        EXPECT_EQ(f.os.tree.liveStreams, 0);
        EXPECT_EQ(c.archived ? f.archivedMessages() : f.os.exeLogMessages(), c.lines);
    }
}

TEST(FinishRun, WithoutAnInstallationPathTheLogStaysAndNothingElseIsTouched) {
    struct Case {
        const char* what;
        bool withLog;
        Lines lines;
    };
    const Case cases[] = {
        {"log open", true, {kStarted, kCompleted}},
        {"before the log could be created", false, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FinishingRun f(false, c.withLog);
        const auto filesBefore = f.os.tree.filePaths();
        const auto foldersBefore = f.os.tree.folders;

        EXPECT_EQ(f.finish(), Ending::Returned);
        EXPECT_EQ(f.fileOperations(), Ops{});
        EXPECT_EQ(f.os.exeLogMessages(), c.lines);
        EXPECT_EQ(f.os.tree.filePaths(), filesBefore);
        EXPECT_EQ(f.os.tree.folders, foldersBefore);
        EXPECT_EQ(f.os.tree.liveStreams, 0);
    }
}

}  // namespace
}  // namespace tavrel
