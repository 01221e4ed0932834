// The real program under Wine at the ends of its runs: the archived log, the missing
// library, and the prerequisites it repairs or refuses.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/e2e_harness.h"
#include "support/line_match.h"
#include "support/saved_registry_key.h"
#include "support/test_host.h"

namespace tavrel::e2e {
namespace {

using Lines = std::vector<std::wstring>;

const Lines kFinishFolderPresent = {L"MSG : Moving TavrelLog.txt to QUENDA\\Applicationlog",
                                    L"MSG : Checking QUENDA\\Applicationlog folder exist or not",
                                    L"MSG : Application Completed"};

TEST(RunFinish, SecondRunReplacesTheArchivedLogInTheExistingFolder) {
    AgentMachine machine(L"archive present");
    machine.seedNormalAgent();
    machine.installWebPostDouble("true");

    EXPECT_EQ(machine.runTavrel(), ExitStatus::Delivered);
    const auto first = machine.archivedLogMessages();
    ASSERT_TRUE(first);
    EXPECT_EQ(first->back(), L"MSG : Application Completed");
    EXPECT_EQ((*first)[first->size() - 3], L"MSG : QUENDA\\ApplicationLog Folder does not exist");

    EXPECT_EQ(machine.runTavrel(), ExitStatus::Delivered);
    const auto second = machine.archivedLogMessages();
    ASSERT_TRUE(second);
    EXPECT_EQ(second->size(), first->size() - 2);
    const Lines tail(second->end() - 3, second->end());
    EXPECT_EQ(tail, kFinishFolderPresent);
    EXPECT_EQ(second->front(), L"MSG : Application Started.");
    EXPECT_FALSE(AgentMachine::readFile(machine.exeLogPath()));
}

TEST(RunFinish, MissingLibraryEndsTheRunArchivedBeforeAnyUptime) {
    AgentMachine machine(L"library missing");
    machine.seedNormalAgent();

    EXPECT_EQ(machine.runTavrel(), ExitStatus::WebPostLibraryMissing);

    const auto log = machine.archivedLogMessages();
    ASSERT_TRUE(log);
    const Lines tail(log->end() - 8, log->end());
    EXPECT_EQ(tail, (Lines{L"MSG : REGID  :--> 417", L"MSG: Checking for Mavelin.dll.",
                           L"MSG : Mavlin.dll is missing.",
                           L"MSG : Moving TavrelLog.txt to QUENDA\\Applicationlog",
                           L"MSG : Checking QUENDA\\Applicationlog folder exist or not",
                           L"MSG : QUENDA\\ApplicationLog Folder does not exist",
                           L"MSG : Creating QUENDA\\Applicationlog Folder",
                           L"MSG : Application Completed"}));
}

TEST(RunFinish, UnregisteredScriptingRuntimeIsRegisteredAgainAndTheRunCompletes) {
    AgentMachine machine(L"scripting runtime");
    machine.seedNormalAgent();
    machine.installWebPostDouble("true");
    // Back as it was afterwards, whether the program repaired it or not.
    const SavedRegistryKey saved(HKEY_CLASSES_ROOT, L"Scripting.FileSystemObject");
    ASSERT_EQ(RegDeleteTreeW(HKEY_CLASSES_ROOT, L"Scripting.FileSystemObject"), ERROR_SUCCESS);
    HKEY progId = nullptr;
    ASSERT_NE(RegOpenKeyExW(HKEY_CLASSES_ROOT, L"Scripting.FileSystemObject", 0, KEY_READ, &progId),
              ERROR_SUCCESS);

    EXPECT_EQ(machine.runTavrel(), ExitStatus::Delivered);

    ASSERT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, L"Scripting.FileSystemObject", 0, KEY_READ, &progId),
              ERROR_SUCCESS);
    RegCloseKey(progId);
    const auto log = machine.archivedLogMessages();
    ASSERT_TRUE(log);
    EXPECT_EQ(log->back(), L"MSG : Application Completed");
    EXPECT_TRUE(matchesLines(Lines(log->end() - 8, log->end() - 5),
                             {L"MSG : Query String :--> *", L"MSG : Webpost Try 1",
                              L"MSG : Webpost Return String :--> "}));
}

TEST(RunFinish, PlantedRegistrationToolsNeverRun) {
    AgentMachine machine(L"planted tool");
    machine.seedNormalAgent();
    machine.installWebPostDouble("true");
    // A program under the tool's name in the two places the ordinary program search
    // would look first; run, it would leave a marker.
    for (const auto& folder : {machine.exeFolder(), machine.workingFolder()}) {
        ASSERT_TRUE(CopyFileW(testhost::pathBesideThisProgram(L"planted_tool.exe").c_str(),
                              (folder + L"\\regsvr32.exe").c_str(), FALSE));
    }

    EXPECT_EQ(machine.runTavrel(), ExitStatus::Delivered);

    const auto log = machine.archivedLogMessages();
    ASSERT_TRUE(log);
    EXPECT_EQ(log->back(), L"MSG : Application Completed");
    // The double answered, so the system's own tool registered it.
    EXPECT_TRUE(machine.webPostJournal());
    for (const auto& folder : {machine.exeFolder(), machine.workingFolder()}) {
        EXPECT_FALSE(AgentMachine::readFile(folder + L"\\planted tool ran"));
    }
}

}  // namespace
}  // namespace tavrel::e2e
