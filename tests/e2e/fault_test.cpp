// Faults of the machine that Wine can show for real: odd paths, files held by others,
// a slow or faulty library and huge registry values.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/win32/ansi_text.h"
#include "platform/win32/unique_resource.h"
#include "support/e2e_harness.h"
#include "support/test_host.h"

namespace tavrel::e2e {
namespace {

using Lines = std::vector<std::wstring>;

bool hasLine(const Lines& log, const std::wstring& line) {
    return std::find(log.begin(), log.end(), line) != log.end();
}

bool delivered(const Lines& log) {
    return std::any_of(log.begin(), log.end(), [](const std::wstring& line) {
        return line.rfind(L"MSG : Webpost Return String :--> ", 0) == 0;
    });
}

// The Wine runner pins the locale to code page 1252; a Windows machine may have another.
TEST(MachineFaults, InstallationPathWithBlanksAndAccentsOfTheCodePage) {
    if (GetACP() != 1252u) {
        GTEST_SKIP() << "needs the ANSI code page 1252 for its accented letters, not " << GetACP();
    }
    AgentMachine machine(L"accents");
    const std::wstring folder = L"C:\\Tavrel E2E\\accents\\Agent Caf\u00e9 \u00d1o";
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr)) << GetLastError();
    machine.seedNormalAgent();
    machine.setString("InstallationPath", "C:\\Tavrel E2E\\accents\\Agent Caf\xe9 \xd1o");
    ASSERT_TRUE(CopyFileW(testhost::pathBesideThisProgram(L"Mavlin.dll").c_str(),
                          (folder + L"\\Mavlin.dll").c_str(), FALSE));

    EXPECT_EQ(machine.runTavrel(), ExitStatus::Delivered);

    const auto log = AgentMachine::logMessagesAt(folder + L"\\ApplicationLog\\TavrelLog.txt");
    ASSERT_TRUE(log);
    EXPECT_TRUE(hasLine(*log, L"MSG : Installation Path [" + folder + L"\\]"));
    EXPECT_TRUE(delivered(*log));
    EXPECT_EQ(log->back(), L"MSG : Application Completed");
}

TEST(MachineFaults, RunLogHeldOpenByAnotherProgram) {
    AgentMachine machine(L"log held");
    machine.seedNormalAgent();
    machine.installWebPostDouble("true");
    const std::string left = "01/01/2020 00:00:00\tMSG : held by another program\r\n";
    AgentMachine::writeFile(machine.exeLogPath(), left);
    // Held without sharing: the run cannot replace it, so its trap runs with no log.
    win32::UniqueHandle held = win32::ownFileHandle(CreateFileW(
        machine.exeLogPath().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held);

    EXPECT_EQ(machine.runTavrel(), ExitStatus::StoppedByError);
    held.reset();

    EXPECT_EQ(AgentMachine::readFile(machine.exeLogPath()), left);
    EXPECT_FALSE(machine.archivedLogMessages());
    EXPECT_FALSE(machine.webPostJournal());
}

TEST(MachineFaults, ArchivedLogHeldOpenKeepsThisRunsLogNextToTheExecutable) {
    AgentMachine machine(L"archive held");
    machine.seedNormalAgent();
    machine.installWebPostDouble("true");
    CreateDirectoryW((machine.installFolder() + L"\\ApplicationLog").c_str(), nullptr);
    AgentMachine::writeFile(machine.archivedLogPath(), "earlier run\r\n");
    win32::UniqueHandle held = win32::ownFileHandle(CreateFileW(
        machine.archivedLogPath().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held);

    EXPECT_EQ(machine.runTavrel(), ExitStatus::Delivered);
    held.reset();

    EXPECT_EQ(AgentMachine::readFile(machine.archivedLogPath()), "earlier run\r\n");
    const auto log = machine.exeLogMessages();
    ASSERT_TRUE(log);
    EXPECT_TRUE(delivered(*log));
    EXPECT_EQ(log->back(), L"MSG : Application Completed");
}

TEST(MachineFaults, SlowLibraryIsWaitedForAndItsAnswerCounts) {
    AgentMachine machine(L"slow library");
    machine.seedNormalAgent();
    machine.installWebPostDouble("true|reply1=late|delay=3000");

    EXPECT_EQ(machine.runTavrel(), ExitStatus::Delivered);

    const auto log = machine.archivedLogMessages();
    ASSERT_TRUE(log);
    EXPECT_TRUE(hasLine(*log, L"MSG : Webpost Return String :--> late"));
    EXPECT_FALSE(hasLine(*log, L"MSG : Webpost Try 2"));
    EXPECT_EQ(log->back(), L"MSG : Application Completed");
}

// The program built with a limit of a few seconds, against a library that answers late.
TEST(MachineFaults, RunPastItsTimeLimitIsStoppedAndTheNextRunGoesAhead) {
    AgentMachine machine(L"time limit");
    machine.seedNormalAgent();
    machine.installWebPostDouble("true|delay=60000");
    machine.replaceProgramWith(testhost::pathBesideThisProgram(L"TavrelShortLimit.exe"));

    EXPECT_EQ(machine.runTavrel(), ExitStatus::TimeLimitReached);

    const auto log = machine.exeLogMessages();
    ASSERT_TRUE(log);
    EXPECT_EQ(log->back(), L"ERR : Run stopped after the time limit of " +
                               std::to_wstring(SHORT_RUN_TIME_LIMIT_SECONDS) + L" seconds.");
    EXPECT_FALSE(machine.archivedLogMessages());

    AgentMachine::writeFile(machine.installFolder() + L"\\Mavlin.script", "true\r\n");
    EXPECT_EQ(machine.runTavrel(), ExitStatus::Delivered);
    const auto next = machine.archivedLogMessages();
    ASSERT_TRUE(next);
    EXPECT_FALSE(hasLine(*next, log->back()));
}

// A library that holds its unload or faults, in any of the ways a library can: the run
// still ends, within the limit (the harness gives up on a run that does not), with the
// status the report earned and the line that says why.
TEST(MachineFaults, LibraryThatHoldsItsUnloadOrFaultsCannotHoldTheRun) {
    struct Case {
        const wchar_t* scenario;
        const char* script;
        ExitStatus status;
        const wchar_t* lastLine;
        bool archived = false;
        // What the double journalled last: for a held unload, that it was reached.
        const char* lastJournalLine = nullptr;
        // Wine tells no exe's TLS callback of a process detach, as Windows does.
        bool windowsOnly = false;
    };
    const std::wstring accessViolation =
        L"ERR : Run stopped by an unexpected fault with code 0xC0000005.";
    const std::wstring abortCalled =
        L"ERR : Run stopped by an unexpected fault with code 0x40000015.";
    const Case cases[] = {
        {L"held unload", "true|unload_delay=3600000", ExitStatus::Delivered,
         L"MSG : Application Completed", true, "unload held for 3600000 ms"},
        {L"library fault", "fault", ExitStatus::StoppedByError, accessViolation.c_str()},
        {L"stack overflow", "overflow", ExitStatus::StoppedByError,
         L"ERR : Run stopped by an unexpected fault with code 0xC00000FD."},
        {L"abort", "abort", ExitStatus::StoppedByError, abortCalled.c_str()},
        {L"exception thrown out", "throw", ExitStatus::StoppedByError, abortCalled.c_str()},
        {L"fault on a thread of the library", "thread_fault", ExitStatus::StoppedByError,
         accessViolation.c_str()},
        {L"the library's own fault filter", "false|own_filter=yes\nfault",
         ExitStatus::StoppedByError, accessViolation.c_str()},
        // The system ends the other threads first: nothing can be written, only the status
        // kept from reading as a delivery.
        {L"the library exits the process", "exit", ExitStatus::StoppedByError,
         L"MSG : Webpost Try 1", false, nullptr, true},
    };
    const bool underWine =
        GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.scenario)));
        if (c.windowsOnly && underWine) {
            continue;
        }
        AgentMachine machine(c.scenario);
        machine.seedNormalAgent();
        machine.installWebPostDouble(c.script);
        machine.replaceProgramWith(testhost::pathBesideThisProgram(L"TavrelShortLimit.exe"));
        const ULONGLONG started = GetTickCount64();

        EXPECT_EQ(machine.runTavrel(), c.status);

        const auto log = c.archived ? machine.archivedLogMessages() : machine.exeLogMessages();
        ASSERT_TRUE(log);
        EXPECT_EQ(log->back(), c.lastLine);
        if (c.lastJournalLine != nullptr) {
            const auto journal = machine.webPostJournal();
            ASSERT_TRUE(journal);
            EXPECT_EQ(journal->back(), c.lastJournalLine);
            // Held to the limit, not ended before the unload.
            EXPECT_GE(GetTickCount64() - started, SHORT_RUN_TIME_LIMIT_SECONDS * 1000ull);
        }
    }
}

TEST(MachineFaults, MegabyteRegistryValueIsReadWhole) {
    AgentMachine machine(L"megabyte value");
    machine.seedNormalAgent();
    machine.installWebPostDouble("true");
    const std::string site(1 << 20, 'S');
    machine.setString("SITEID", site);

    EXPECT_EQ(machine.runTavrel(), ExitStatus::Delivered);

    const auto log = machine.archivedLogMessages();
    ASSERT_TRUE(log);
    EXPECT_TRUE(hasLine(*log, L"MSG : SITE ID :--> " + std::wstring(site.begin(), site.end())));
    EXPECT_TRUE(delivered(*log));
    EXPECT_EQ(log->back(), L"MSG : Application Completed");
}

}  // namespace
}  // namespace tavrel::e2e
