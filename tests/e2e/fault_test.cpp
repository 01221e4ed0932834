// Faults of the machine that Wine can show for real: odd paths, files held by others,
// a slow or faulty library and huge registry values.
#include <windows.h>
// After windows.h, which it needs.
#include <tlhelp32.h>

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

// Whether a process of the program still runs, a few seconds after the run's end.
bool programStillRuns() {
    for (int tries = 0; tries < 30; ++tries, Sleep(100)) {
        win32::UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
        PROCESSENTRY32W entry{};
        entry.dwSize = sizeof entry;
        bool found = false;
        for (BOOL more = Process32FirstW(snapshot.get(), &entry); more;
             more = Process32NextW(snapshot.get(), &entry)) {
            found = found || lstrcmpiW(entry.szExeFile, L"Tavrel.exe") == 0;
        }
        if (!found) {
            return false;
        }
    }
    return true;
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

    EXPECT_FALSE(programStillRuns()) << "the library's process outlived the run";
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

// The program's own C++ exception that nothing catches ends the run as a fault with the
// code of a fatal application exit, on the 64-bit build too, whose unwinder raises it as
// an exception of its own first.
TEST(MachineFaults, TheProgramsOwnUncaughtExceptionEndsAsAFault) {
    AgentMachine machine(L"own exception");
    machine.seedNormalAgent();
    machine.installWebPostDouble("true");
    machine.replaceProgramWith(testhost::pathBesideThisProgram(L"TavrelOwnException.exe"));

    EXPECT_EQ(machine.runTavrel(), ExitStatus::StoppedByError);

    const auto log = machine.exeLogMessages();
    ASSERT_TRUE(log);
    EXPECT_EQ(log->back(), L"ERR : Run stopped by an unexpected fault with code 0x40000015.");
}

// A library that holds its unload or ends its process, in any of the ways a library
// can: it lives in a child process, so the run goes on through its finish, soon, with a
// delivered report or a lost one and the line that says how the child ended.
TEST(MachineFaults, LibraryThatHoldsItsUnloadOrEndsItsProcessCannotHoldTheRun) {
    struct Case {
        const wchar_t* scenario;
        const char* script;
        // The child's exit code, for a report that was not delivered.
        const wchar_t* code = nullptr;
    };
    const Case cases[] = {
        {L"held unload", "true|unload_delay=3600000|caller=yes"},
        {L"library fault", "fault", L"0xC0000005"},
        {L"stack overflow", "overflow", L"0xC00000FD"},
        // The system's C runtime ends an abort() with 3, having said so on NUL; the
        // library's own runtime ends an exception that nothing catches there too.
        {L"abort", "abort", L"0x00000003"},
        {L"exception thrown out", "throw", L"0x00000003"},
        {L"fault on a thread of the library", "thread_fault", L"0xC0000005"},
        {L"the library's own fault filter", "false|own_filter=yes\nfault", L"0x00000000"},
        {L"the library exits the process", "exit", L"0x00000000"},
        // Not a fast fail: Wine 8's RaiseFailFastException returns, so the double ends
        // itself with TerminateProcess and the code a fast fail leaves.
        {L"ended with a fast fail's code", "fast_fail", L"0xC0000409"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.scenario)));
        AgentMachine machine(c.scenario);
        machine.seedNormalAgent();
        machine.installWebPostDouble(c.script);
        machine.replaceProgramWith(testhost::pathBesideThisProgram(L"TavrelShortLimit.exe"));
        const ULONGLONG started = GetTickCount64();

        EXPECT_EQ(machine.runTavrel(), c.code ? ExitStatus::ReportLost : ExitStatus::Delivered);

        EXPECT_LT(GetTickCount64() - started, SHORT_RUN_TIME_LIMIT_SECONDS * 1000ull);
        const auto log = machine.archivedLogMessages();
        ASSERT_TRUE(log);
        EXPECT_EQ(log->back(), L"MSG : Application Completed");
        EXPECT_TRUE(machine.spooledFiles().empty());
        if (c.code == nullptr) {
            EXPECT_TRUE(delivered(*log));
            // The call came from the run's child, which reached its held unload, and the
            // run did not wait for it.
            const auto journal = machine.webPostJournal();
            ASSERT_TRUE(journal);
            EXPECT_NE(std::find(journal->begin(), journal->end(),
                                "caller Tavrel.exe child of Tavrel.exe"),
                      journal->end());
            EXPECT_EQ(journal->back(), "unload held for 3600000 ms");
            continue;
        }
        const std::wstring error = L"ERR : in sendWebPost function() ";
        const auto line = std::find_if(log->begin(), log->end(), [&](const std::wstring& l) {
            return l.rfind(error, 0) == 0;
        });
        ASSERT_NE(line, log->end());
        EXPECT_EQ(*line, error + L"The process of Mavlin.WebPost ended with code " + c.code +
                             L" during the call of PostXMLString.");
        EXPECT_FALSE(delivered(*log));
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
