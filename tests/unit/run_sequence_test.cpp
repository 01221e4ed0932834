#include "run/run_sequence.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/event_log.h"
#include "report/web_post.h"
#include "run/run_event.h"
#include "support/fake_platform.h"

namespace tavrel {
namespace {

using fake::Ending;
using fake::FakePlatform;
using Lines = std::vector<std::wstring>;

TEST(RunSequence, AnotherCopyRunningEndsAtOnceTouchingNothing) {
    FakePlatform os;
    os.host.anotherCopyRunning = true;
    os.tree.addFile(os.exeLogPath(), L"running copy's line\r\n");
    RunContext run(os.view());

    EXPECT_EQ(fake::runMain(run), Ending::AtOnce);

    EXPECT_EQ(os.tree.content(os.exeLogPath()), L"running copy's line\r\n");
    ASSERT_EQ(os.ops.calls().size(), 2u);
    EXPECT_EQ(os.ops.calls()[0].operation, "PreviousInstanceRunning");
    EXPECT_EQ(os.ops.calls()[1].operation, "EndProcess");
}

TEST(RunSequence, AgentKeyOpenExits) {
    struct Case {
        const char* what;
        void (*arrange)(FakePlatform&);
        Lines lines;
    };
    const Lines registryMissing = {L"MSG : Application Started.", L"MSG : Registry is missing",
                                   L"MSG : Application Completed"};
    const Case cases[] = {
        {"key absent", [](FakePlatform& os) { os.registry.removeKey(L"Software\\QUENDA"); },
         registryMissing},
        {"no right to open it for full access",
         [](FakePlatform& os) { os.registry.deniedKeys.insert(L"software\\quenda"); },
         registryMissing},
        {"open fails otherwise",
         [](FakePlatform& os) { os.ops.failEvery("RegOpenKeyEx", Error(1450, L"No resources")); },
         registryMissing},
        {"opened with a null handle",
         [](FakePlatform& os) { os.registry.openGivesNullHandle = true; },
         {L"MSG : Application Started."}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FakePlatform os;
        c.arrange(os);
        RunContext run(os.view());

        EXPECT_EQ(fake::runMain(run), Ending::AtOnce);
        EXPECT_EQ(os.exeLogMessages(), c.lines);
    }
}

const Lines kIdentity = {L"MSG : Application Started.",
                         L"MSG : Member ID :--> M1001",
                         L"MSG : SITE ID :--> S2002",
                         L"MSG : Agent Type  :--> VAMR",
                         L"MSG : Getting Installation Path",
                         L"MSG : Installation Path [C:\\Program Files\\QUENDA Agent\\]",
                         L"MSG : Getting REGID from Registry.",
                         L"MSG : REGID  :--> 417",
                         L"MSG: Checking for Mavelin.dll.",
                         L"MSG : Getting System UPTime using WMI."};
const Lines kIdentityToLibrary(kIdentity.begin(), kIdentity.end() - 1);
const Lines kLibraryMissing = {L"MSG : Mavlin.dll is missing."};
const Lines kWmiStart = {
    L"MSG : WMI object created.", L"MSG : WbemScripting.SWbemLocator object created.",
    L"MSG : Executing Select * From Win32_PerfFormattedData_PerfOS_System query."};
const Lines kWmiNoInstance = {
    L"ERR : Err using WMI Err Description : The query returned no instance",
    L"ERR : Error in getSystemUpTime Function Error Details [ The query returned no instance ].",
    L"ERR : Failed to get UP Time using WMI. Now getting using API."};

Lines postLines(const std::wstring& upTime) {
    return {L"MSG : Getting URL for wpsysuptimedata",
            L"MSG : Norvick.ini not found.",
            L"MSG : Sending Webpost :--><wpsysuptimedata><regid>417</regid><uptime>" + upTime +
                L"</uptime><mndtime>3/7/2026 14:5:9</mndtime></wpsysuptimedata>",
            L"MSG : Query String :--> https://" + std::wstring(defaultWebPostHost()) +
                L"/tfr_wpsysuptimedata.asp?mmid=M1001&sid=S2002&rid=417&rty=VAMR",
            L"MSG : Webpost Try 1",
            L"MSG : Webpost Return String :--> "};
}

const Lines kFinishFolderPresent = {L"MSG : Moving TavrelLog.txt to QUENDA\\Applicationlog",
                                    L"MSG : Checking QUENDA\\Applicationlog folder exist or not",
                                    L"MSG : Application Completed"};
const Lines kFinishFolderAbsent = {L"MSG : Moving TavrelLog.txt to QUENDA\\Applicationlog",
                                   L"MSG : Checking QUENDA\\Applicationlog folder exist or not",
                                   L"MSG : QUENDA\\ApplicationLog Folder does not exist",
                                   L"MSG : Creating QUENDA\\Applicationlog Folder",
                                   L"MSG : Application Completed"};

Lines operator+(Lines lines, const Lines& more) {
    lines.insert(lines.end(), more.begin(), more.end());
    return lines;
}

TEST(RunSequence, WholeRunsEndArchivedWithEveryLineInOrder) {
    struct Case {
        const char* what;
        void (*arrange)(FakePlatform&);
        Ending ending;
        Lines lines;
        int posts;
    };
    const Case cases[] = {
        {"measured by WMI, archive folder present",
         [](FakePlatform& os) {
             os.tree.addFolder(std::wstring(FakePlatform::kInstallPath) + L"ApplicationLog");
         },
         Ending::Returned,
         kIdentity + kWmiStart + Lines{L"MSG : System Up time is [ 900 ]"} + postLines(L"900") +
             kFinishFolderPresent,
         1},
        {"archive folder absent", [](FakePlatform&) {}, Ending::AtOnce,
         kIdentity + kWmiStart + Lines{L"MSG : System Up time is [ 900 ]"} + postLines(L"900") +
             kFinishFolderAbsent,
         1},
        {"WMI without instance, fallback measures and the report still goes",
         [](FakePlatform& os) {
             os.wmi.instances.clear();
             os.system.ticks = 1234567;
         },
         Ending::AtOnce,
         kIdentity + kWmiStart + kWmiNoInstance + Lines{L"MSG : System UP Time : 21 minutes."} +
             postLines(L"1235") + kFinishFolderAbsent,
         1},
        {"web-post library missing, archive folder present",
         [](FakePlatform& os) {
             os.tree.files.erase(
                 fake::FileTree::keyOf(std::wstring(FakePlatform::kInstallPath) + L"Mavlin.dll"));
             os.tree.addFolder(std::wstring(FakePlatform::kInstallPath) + L"ApplicationLog");
         },
         Ending::AtOnce, kIdentityToLibrary + kLibraryMissing + kFinishFolderPresent, 0},
        {"web-post library missing, archive folder absent",
         [](FakePlatform& os) {
             os.tree.files.erase(
                 fake::FileTree::keyOf(std::wstring(FakePlatform::kInstallPath) + L"Mavlin.dll"));
         },
         Ending::AtOnce, kIdentityToLibrary + kLibraryMissing + kFinishFolderAbsent, 0},
        {"no uptime at all: nothing posted",
         [](FakePlatform& os) {
             os.wmi.instances.clear();
             os.ops.failEvery("TickCount", Error(5, L"No clock"));
         },
         Ending::AtOnce,
         kIdentity + kWmiStart + kWmiNoInstance +
             Lines{L"ERR : Err while API. Err description : No clock",
                   L"ERR : Failed to get UP Time using API.",
                   L"ERR : Failed to get System UPTime, cant send the webpost."} +
             kFinishFolderAbsent,
         0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FakePlatform os;
        c.arrange(os);
        RunContext run(os.view());

        EXPECT_EQ(fake::runMain(run), c.ending);

        EXPECT_EQ(os.archivedLogMessages(), c.lines);
        EXPECT_FALSE(os.tree.hasFile(os.exeLogPath()));
        EXPECT_EQ(os.ops.count("PostXMLString"), c.posts);
        // The web-post library's registration, when it is there.
        const bool missing =
            std::find(c.lines.begin(), c.lines.end(), kLibraryMissing[0]) != c.lines.end();
        EXPECT_EQ(os.system.started.size(), missing ? 0u : 1u);
        EXPECT_EQ(os.registry.openKeyCount(), 0u);
        EXPECT_EQ(os.tree.liveStreams, 0);
    }
}

TEST(RunSequence, OpensTheAgentKeyForFullAccess) {
    FakePlatform os;
    RunContext run(os.view());
    fake::runMain(run);

    // The class's keys, read before the object is created, are read only.
    Lines opened;
    for (const auto& call : os.ops.calls()) {
        if (call.operation == "RegOpenKeyEx") {
            opened.push_back(call.detail);
        }
    }
    EXPECT_EQ(opened, (Lines{L"Software\\QUENDA options=0 access=983103",
                             L"HKCR\\Mavlin.WebPost\\CLSID options=0 access=131097",
                             L"HKCR\\CLSID\\{C1A55}\\TreatAs options=0 access=131097",
                             L"HKCR\\CLSID\\{C1A55}\\InprocServer32 options=0 access=131097"}));
}

TEST(RunSequence, TrapEndsThroughTheRunFinish) {
    FakePlatform os;
    os.tree.addFolder(std::wstring(FakePlatform::kInstallPath) + L"ApplicationLog");
    os.ops.failCall("FolderExists", 1, Error(70, L"Permission denied"));
    RunContext run(os.view());

    EXPECT_EQ(fake::runMain(run), Ending::Returned);

    Lines expected(kIdentity.begin(), kIdentity.begin() + 5);
    EXPECT_EQ(os.archivedLogMessages(),
              expected + Lines{L"ERR : Err using WMI Err Description : Permission denied"} +
                  kFinishFolderPresent);
}

TEST(RunSequence, FailureToCreateTheFileObjectOrTheLogIsTrappedWithNothingLogged) {
    struct Case {
        const char* what;
        void (*arrange)(FakePlatform&);
    };
    const Case cases[] = {
        {"file-system object",
         [](FakePlatform& os) {
             os.ops.failEvery("CreateFileSystem", Error(429, L"Can't create object"));
         }},
        {"executable folder unknown",
         [](FakePlatform& os) { os.ops.failEvery("ExecutableFolder", Error(5, L"Invalid")); }},
        {"log file refused",
         [](FakePlatform& os) { os.ops.failEvery("CreateTextFile", Error(70, L"Denied")); }},
        {"earlier log read-only",
         [](FakePlatform& os) { os.tree.addFile(os.exeLogPath(), L"old\r\n", true); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FakePlatform os;
        c.arrange(os);
        RunContext run(os.view());

        EXPECT_EQ(fake::runMain(run), Ending::Returned);
        EXPECT_FALSE(run.state.gLogStream);
        EXPECT_EQ(os.ops.count("WriteLine"), 0);
        EXPECT_EQ(os.ops.count("RegOpenKeyEx"), 0);
    }
}

TEST(RunSequence, FailingInstanceTestGoesToTheTrap) {
    FakePlatform os;
    os.ops.failEvery("PreviousInstanceRunning", Error(5, L"Access is denied."));
    RunContext run(os.view());

    EXPECT_EQ(fake::runMain(run), Ending::Returned);
    EXPECT_FALSE(os.tree.hasFile(os.exeLogPath()));
}

// What the run leaves on the machine: every file with its content, and the status.
struct Outcome {
    std::uint32_t status;
    std::vector<std::wstring> files;
    bool operator==(const Outcome&) const = default;
};

Outcome outcomeOf(const RunContext& run, const FakePlatform& os) {
    Outcome outcome{static_cast<std::uint32_t>(fake::exitStatusOf(run, os.host)), {}};
    for (const auto& path : os.tree.filePaths()) {
        outcome.files.push_back(path + L": " + os.tree.content(path).value_or(L""));
    }
    return outcome;
}

const std::wstring kInstallFolder = L"C:\\Program Files\\QUENDA Agent";
const std::wstring kWebPostClass =
    std::wstring(fake::FakeRegistry::kClassesRoot) + L"CLSID\\{C1A55}";
const std::wstring kArchived = kInstallFolder + L"\\ApplicationLog\\TavrelLog.txt";
const std::wstring kNextToExe = L"C:\\Program Files\\Tavrel\\TavrelLog.txt";

// Every ending, once, with the status a scheduler reads from it: by number, since the
// numbers are what schedulers, scripts and the documentation know; and with the event
// that tells the fleet's tools, which changes nothing of the run when it fails or hangs.
TEST(RunSequence, EveryEndingTellsItsExitStatus) {
    struct Case {
        const char* what;
        void (*arrange)(FakePlatform&);
        std::uint32_t status;
        // The interrupted rows' last line of the log; empty for a run that has none.
        const wchar_t* lastLine;
        // The strings of the run's event, each holding these words; no event when empty.
        Lines event;
    };
    constexpr std::uint32_t kTimeLimit = 600;  // not the default: the run's own goes
    const Case cases[] = {
        {"delivered on the first try", [](FakePlatform&) {}, 0, nullptr, {kArchived}},
        {"delivered, but the log's archive fails",
         [](FakePlatform& os) { os.ops.failEvery("MoveFile", Error(70, L"Denied")); },
         0,
         nullptr,
         {kNextToExe}},
        {"agent of another type",
         [](FakePlatform& os) { os.registry.setString(FakePlatform::kAgentKey, L"TYPE", L"X"); },
         1,
         nullptr,
         {kNextToExe}},
        {"five failed tries, spooled",
         [](FakePlatform& os) {
             os.automation.addClass(L"Mavlin.WebPost").resultWhenUnscripted = false;
         },
         2,
         nullptr,
         {kArchived,
          L"C:\\Program Files\\QUENDA "
          L"Agent\\TreskPostLogs\\wpsysuptimedata_N_417_03072026140509.xml"}},
        {"five failed tries, spool file not created",
         [](FakePlatform& os) {
             os.automation.addClass(L"Mavlin.WebPost").resultWhenUnscripted = false;
             os.ops.failCall("CreateTextFile", 2, Error(70, L"Denied"));
         },
         3,
         nullptr,
         {kArchived, L"ERR : in sendWebPost function() Denied"}},
        // The system refuses an event with a string this long: the event keeps its head.
        {"an error text of 100,000 characters",
         [](FakePlatform& os) {
             os.automation.addClass(L"Mavlin.WebPost").resultWhenUnscripted = false;
             os.ops.failCall("MoveFile", 1, Error(58, std::wstring(100000, L'x')));
         },
         3,
         nullptr,
         {kArchived, L"xxxx [cut]"}},
        {"five failed tries, spool file not moved",
         [](FakePlatform& os) {
             os.automation.addClass(L"Mavlin.WebPost").resultWhenUnscripted = false;
             os.ops.failCall("MoveFile", 1, Error(58, L"File already exists"));
         },
         3,
         nullptr,
         {kArchived, L"ERR : in sendWebPost function() File already exists"}},
        // COM would run another file than the one judged: nothing is created or called.
        {"the object comes from another file than the one judged",
         [](FakePlatform& os) {
             os.automation.addClass(L"Mavlin.WebPost").loadsAnotherFile = true;
         },
         3,
         nullptr,
         {kArchived, L"The file judged for Mavlin.WebPost was not what COM loaded"}},
        {"the class is treated as another",
         [](FakePlatform& os) { os.registry.addKey(kWebPostClass + L"\\TreatAs"); },
         3,
         nullptr,
         {kArchived, L"class is treated as another (TreatAs)"}},
        {"delivered, then the web-post library's process ends",
         [](FakePlatform& os) {
             os.child.endCode = 0xC0000005;
             os.child.endsAt = 2;
             os.child.endsAfterAnswer = true;
         },
         0,
         nullptr,
         {kArchived}},
        {"web-post class not registered",
         [](FakePlatform& os) { os.automation.removeClass(L"Mavlin.WebPost"); },
         3,
         nullptr,
         {kArchived, L"ERR : in sendWebPost function() "}},
        {"no uptime",
         [](FakePlatform& os) {
             os.wmi.instances.clear();
             os.ops.failEvery("TickCount", Error(5, L"No clock"));
         },
         4,
         nullptr,
         {kArchived, L"ERR : Failed to get System UPTime, cant send the webpost."}},
        {"web-post library missing",
         [](FakePlatform& os) {
             os.tree.files.erase(
                 fake::FileTree::keyOf(std::wstring(FakePlatform::kInstallPath) + L"Mavlin.dll"));
         },
         5,
         nullptr,
         {kArchived, L"none"}},
        {"installation path blank",
         [](FakePlatform& os) {
             os.registry.setString(FakePlatform::kAgentKey, L"InstallationPath", L"  ");
         },
         5,
         nullptr,
         {kNextToExe, L"none"}},
        {"agent key absent",
         [](FakePlatform& os) { os.registry.removeKey(FakePlatform::kAgentKey); },
         6,
         nullptr,
         {kNextToExe, L"none"}},
        {"agent key opened with a null handle",
         [](FakePlatform& os) { os.registry.openGivesNullHandle = true; },
         6,
         nullptr,
         {kNextToExe, L"none"}},
        {"value absent from the key",
         [](FakePlatform& os) { os.registry.removeValue(FakePlatform::kAgentKey, L"SITEID"); },
         6,
         nullptr,
         {kNextToExe, L"ERR  : SITEID is Missing in Registy"}},
        {"member id of another type",
         [](FakePlatform& os) {
             os.registry.setValue(FakePlatform::kAgentKey, L"MEMBERID", 4, "1234");
         },
         6,
         nullptr,
         {kNextToExe, L"none"}},
        {"agent type empty",
         [](FakePlatform& os) { os.registry.setString(FakePlatform::kAgentKey, L"TYPE", L" "); },
         6,
         nullptr,
         {kNextToExe, L"none"}},
        {"installation folder missing",
         [](FakePlatform& os) {
             os.registry.setString(FakePlatform::kAgentKey, L"InstallationPath", L"D:\\Gone");
         },
         6,
         nullptr,
         {kNextToExe, L"none"}},
        {"registration id empty",
         [](FakePlatform& os) { os.registry.setString(FakePlatform::kAgentKey, L"REGID", L""); },
         6,
         nullptr,
         {kNextToExe, L"none"}},
        {"another copy running",
         [](FakePlatform& os) { os.host.anotherCopyRunning = true; },
         7,
         nullptr,
         {}},
        {"run log cannot be created",
         [](FakePlatform& os) { os.tree.addFile(os.exeLogPath(), L"old\r\n", true); },
         8,
         nullptr,
         {L"none, " + kNextToExe + L" could not be created",
          L"ERR : Err using WMI Err Description : Permission denied"}},
        {"executable folder unknown: no log, nor where it would be",
         [](FakePlatform& os) { os.ops.failEvery("ExecutableFolder", Error(5, L"Invalid")); },
         8,
         nullptr,
         {L"none, the run ended before creating it",
          L"ERR : Err using WMI Err Description : Invalid"}},
        {"error in the run's own steps",
         [](FakePlatform& os) { os.ops.failCall("FolderExists", 1, Error(70, L"Denied")); },
         8,
         nullptr,
         {kArchived, L"ERR : Err using WMI Err Description : Denied"}},
        {"others may change the installation folder: nothing registered, loaded or written",
         [](FakePlatform& os) { os.tree.openToOthers(kInstallFolder); },
         10,
         nullptr,
         {kNextToExe, L"ERR : " + kInstallFolder +
                          L" may be changed by BUILTIN\\Users (FILE_WRITE_DATA); nothing is "
                          L"registered, loaded or written there."}},
        {"library missing, and others may change the installation folder: the log stays",
         [](FakePlatform& os) {
             os.tree.files.erase(fake::FileTree::keyOf(kInstallFolder + L"\\Mavlin.dll"));
             os.tree.openToOthers(kInstallFolder);
         },
         5,
         nullptr,
         {kNextToExe,
          L"may be changed by BUILTIN\\Users (FILE_WRITE_DATA); the log stays next "
          L"to the executable."}},
        {"time limit reached in the web post",
         [](FakePlatform& os) { os.host.interruptAt("PostXMLString", 1); },
         9,
         L"ERR : Run stopped after the time limit of 600 seconds.",
         {kNextToExe, L"ERR : Run stopped after the time limit of 600 seconds."}},
        {"time limit reached as the log closes: the run holds the lock",
         [](FakePlatform& os) { os.host.interruptAt("Close", 1); },
         9,
         L"MSG : Application Completed",
         {kNextToExe, L"ERR : Run stopped after the time limit of 600 seconds."}},
        // The library's own faults end its child, not the run: this is the run's own code.
        {"fault in the run's own uptime query",
         [](FakePlatform& os) { os.host.interruptAt("WmiExecQuery", 1, 0xC000001Du); },
         8,
         L"ERR : Run stopped by an unexpected fault with code 0xC000001D.",
         {kNextToExe, L"ERR : Run stopped by an unexpected fault with code 0xC000001D."}},
        {"fault before the log exists",
         [](FakePlatform& os) { os.host.interruptAt("CreateFileSystem", 1, 0xC0000005u); },
         8,
         L"",
         {L"none, the run ended before creating it",
          L"ERR : Run stopped by an unexpected fault with code 0xC0000005."}},
        // The line being written holds the log's lock: the last words keep out of the log,
        // and the event still tells where it lies and why the run stopped.
        {"time limit reached while a line is written",
         [](FakePlatform& os) { os.host.interruptAt("WriteLine", 3); },
         9,
         L"MSG : Member ID :--> M1001",
         {kNextToExe, L"ERR : Run stopped after the time limit of 600 seconds."}},
        {"fault while a line is written",
         [](FakePlatform& os) { os.host.interruptAt("WriteLine", 3, 0xC0000005u); },
         8,
         L"MSG : Member ID :--> M1001",
         {kNextToExe, L"ERR : Run stopped by an unexpected fault with code 0xC0000005."}},
        {"fault while the log is being created",
         [](FakePlatform& os) { os.host.interruptAt("CreateTextFile", 1, 0xC0000005u); },
         8,
         L"",
         {kNextToExe + L" (the run was stopped while creating it)",
          L"ERR : Run stopped by an unexpected fault with code 0xC0000005."}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FakePlatform os;
        c.arrange(os);
        RunContext run(os.view(), kTimeLimit);

        fake::runMain(run);

        EXPECT_EQ(static_cast<std::uint32_t>(fake::exitStatusOf(run, os.host)), c.status);
        EXPECT_EQ(os.host.watchdogSeconds, kTimeLimit);
        // Only the interrupted rows have last words, and those wait no longer than their bound.
        const std::vector<std::uint32_t> lastWordsWaits =
            c.lastLine != nullptr ? std::vector{kLastWordsLockWaitMilliseconds}
                                  : std::vector<std::uint32_t>{};
        EXPECT_EQ(os.host.locks.at(0).waits, lastWordsWaits);
        // Where others may change the library or its folders, nothing runs it.
        if (c.status == 10) {
            EXPECT_TRUE(os.system.started.empty());
            EXPECT_EQ(os.ops.count("PostXMLString"), 0);
            EXPECT_EQ(os.exeLogMessages().back(), L"MSG : Application Completed");
        }
        if (c.lastLine != nullptr) {
            const Lines log = os.runLogMessages();
            EXPECT_EQ(log.empty() ? L"" : log.back(), c.lastLine);
        }

        // One event, of the source's, with ID 1000 plus the status and a type after what
        // an administrator must do: nothing, look at the waiting report, or mend.
        ASSERT_EQ(os.eventLog.events.size(), c.event.empty() ? 0u : 1u);
        if (!c.event.empty()) {
            const LogEvent& event = os.eventLog.events[0];
            EXPECT_EQ(event.source, L"Tavrel");
            EXPECT_EQ(event.id, 1000 + c.status);
            EXPECT_EQ(event.type, c.status < 2    ? EventType::Information
                                  : c.status == 2 ? EventType::Warning
                                                  : EventType::Error);
            ASSERT_EQ(event.strings.size(), c.event.size());
            for (std::size_t i = 0; i < c.event.size(); ++i) {
                EXPECT_NE(event.strings[i].find(c.event[i]), std::wstring::npos)
                    << testing::PrintToString(event.strings[i]);
                EXPECT_LE(event.strings[i].size(), kEventStringCharacters);
            }
        }

        // An event that fails, or hangs until the host's bound cuts it off, leaves the
        // status, the log and every file as they are.
        for (const bool hangs : {false, true}) {
            SCOPED_TRACE(hangs ? "event hangs" : "event fails");
            FakePlatform twin;
            c.arrange(twin);
            if (hangs) {
                twin.eventLog.blocks = true;
            } else {
                twin.ops.failEvery("ReportEvent", Error(1502, L"The event log file is full."));
            }
            RunContext twinRun(twin.view(), kTimeLimit);

            fake::runMain(twinRun);

            EXPECT_EQ(outcomeOf(twinRun, twin), outcomeOf(run, os));
            EXPECT_TRUE(twin.eventLog.events.empty());
            EXPECT_EQ(twin.host.reportCutOff, hangs && !c.event.empty());
        }
    }
}

}  // namespace
}  // namespace tavrel
