// The real program under Wine measuring the uptime and posting it through the web-post
// double, which the program registers from the agent's folder itself.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/win32/ansi_text.h"
#include "support/e2e_harness.h"
#include "support/line_match.h"
#include "support/test_host.h"

namespace tavrel::e2e {
namespace {

using Lines = std::vector<std::wstring>;

const std::wstring kQuery =
    L"https://webpost.quenda.invalid/tfr_wpsysuptimedata.asp?mmid=M1001&sid=S2002&rid=417"
    L"&rty=VAMR";

Lines operator+(Lines lines, const Lines& more) {
    lines.insert(lines.end(), more.begin(), more.end());
    return lines;
}

// Wine's WMI has no instance of the performance class, so every run there measures
// through the tick-count fallback; Windows answers the query.
Lines uptimeLines() {
    if (!testhost::runsUnderWine()) {
        return {L"MSG : System Up time is [ *"};
    }
    return {L"ERR : Err using WMI Err Description : The query returned no instance",
            L"ERR : Error in getSystemUpTime Function Error Details [ The query returned no "
            L"instance ].",
            L"ERR : Failed to get UP Time using WMI. Now getting using API.",
            L"MSG : System UP Time : *"};
}

Lines linesUpToThePost(const AgentMachine& machine) {
    return Lines{L"MSG : Application Started.",
                 L"MSG : Member ID :--> M1001",
                 L"MSG : SITE ID :--> S2002",
                 L"MSG : Agent Type  :--> VAMR",
                 L"MSG : Getting Installation Path",
                 L"MSG : Installation Path [" + machine.installFolder() + L"\\]",
                 L"MSG : Getting REGID from Registry.",
                 L"MSG : REGID  :--> 417",
                 L"MSG: Checking for Mavelin.dll.",
                 L"MSG : Getting System UPTime using WMI.",
                 L"MSG : WMI object created.",
                 L"MSG : WbemScripting.SWbemLocator object created.",
                 L"MSG : Executing Select * From Win32_PerfFormattedData_PerfOS_System query."} +
           uptimeLines() +
           Lines{L"MSG : Getting URL for wpsysuptimedata", L"MSG : Norvick.ini not found.",
                 L"MSG : Sending Webpost :--><wpsysuptimedata><regid>417</regid><uptime>*"};
}

Lines tryLines(int attempt, bool delivered, const std::wstring& reply) {
    return {
        L"MSG : Query String :--> " + kQuery, L"MSG : Webpost Try " + std::to_wstring(attempt),
        (delivered ? L"MSG : Webpost Return String :--> " : L"ERR  : Webpost Return String :--> ") +
            reply};
}

const Lines kFinishCreatingTheArchive = {
    L"MSG : Moving TavrelLog.txt to QUENDA\\Applicationlog",
    L"MSG : Checking QUENDA\\Applicationlog folder exist or not",
    L"MSG : QUENDA\\ApplicationLog Folder does not exist",
    L"MSG : Creating QUENDA\\Applicationlog Folder", L"MSG : Application Completed"};

// The report as the log shows it after the arrow of the sending line.
std::string reportOf(const Lines& log) {
    const std::wstring prefix = L"MSG : Sending Webpost :-->";
    for (const auto& line : log) {
        if (line.rfind(prefix, 0) == 0) {
            return win32::wideToAnsi(line.substr(prefix.size()));
        }
    }
    return {};
}

TEST(ReportDelivery, DeliveredAtTheFirstTryWithTheNineArguments) {
    AgentMachine machine(L"delivered");
    machine.seedNormalAgent();
    machine.installWebPostDouble("true|reply1=  OK 200  ");

    EXPECT_EQ(machine.runTavrel(), ExitStatus::Delivered);

    const auto log = machine.archivedLogMessages();
    ASSERT_TRUE(log);
    EXPECT_TRUE(matchesLines(*log, linesUpToThePost(machine) + tryLines(1, true, L"OK 200") +
                                       kFinishCreatingTheArchive));
    EXPECT_FALSE(AgentMachine::readFile(machine.exeLogPath()));
    EXPECT_TRUE(machine.spooledFiles().empty());

    const std::string report = reportOf(*log);
    ASSERT_TRUE(report.rfind("<wpsysuptimedata><regid>417</regid><uptime>", 0) == 0) << report;
    const auto journal = machine.webPostJournal();
    ASSERT_TRUE(journal);
    const std::vector<std::string> expected = {
        "call 1",
        "arg1 0x4008 VT_BYREF|VT_BSTR " + report,
        "arg2 0x000B VT_BOOL false",
        "arg3 0x4008 VT_BYREF|VT_BSTR " + win32::wideToAnsi(kQuery),
        "arg4 0x0008 VT_BSTR ",
        "arg5 0x0008 VT_BSTR ",
        "arg6 0x4008 VT_BYREF|VT_BSTR ",
        "arg7 0x4008 VT_BYREF|VT_BSTR ",
        "arg8 0x4008 VT_BYREF|VT_BSTR ",
        "arg9 0x4008 VT_BYREF|VT_BSTR ",
        "set arg6   OK 200  ",
        "answer 0x000B VT_BOOL true"};
    EXPECT_EQ(*journal, expected);
}

TEST(ReportDelivery, FalseTwiceThenTrueStopsAtTheThirdTry) {
    AgentMachine machine(L"third try");
    machine.seedNormalAgent();
    machine.installWebPostDouble("false|reply3= busy \r\nfalse\r\ntrue|reply1=done");

    EXPECT_EQ(machine.runTavrel(), ExitStatus::Delivered);

    const auto log = machine.archivedLogMessages();
    ASSERT_TRUE(log);
    EXPECT_TRUE(matchesLines(*log, linesUpToThePost(machine) + tryLines(1, false, L"busy") +
                                       tryLines(2, false, L"busy") + tryLines(3, true, L"done") +
                                       kFinishCreatingTheArchive));
    EXPECT_TRUE(machine.spooledFiles().empty());
}

TEST(ReportDelivery, FiveFailuresKeepTheReportInTreskPostLogs) {
    AgentMachine machine(L"spooled");
    machine.seedNormalAgent();
    machine.installWebPostDouble("false|reply3=down");

    EXPECT_EQ(machine.runTavrel(), ExitStatus::Spooled);

    const auto log = machine.archivedLogMessages();
    ASSERT_TRUE(log);
    const auto files = machine.spooledFiles();
    ASSERT_EQ(files.size(), 1u);
    const std::wstring& name = files[0];
    // wpsysuptimedata_N_417_ + MMDDYYYYHHNNSS + .xml
    EXPECT_EQ(name.size(), std::wstring(L"wpsysuptimedata_N_417_").size() + 14 + 4);
    EXPECT_EQ(name.rfind(L"wpsysuptimedata_N_417_", 0), 0u);
    EXPECT_EQ(name.find_first_not_of(L"0123456789", 22), name.size() - 4);

    Lines tries;
    for (int attempt = 1; attempt <= 5; ++attempt) {
        tries = tries + tryLines(attempt, false, L"down");
    }
    const std::wstring folder = machine.installFolder() + L"\\";
    const Lines spool = {L"MSG : Webpost failed for 5 times. Tkt.",
                         L"MSG : Creating file in TreskPostLogs Folder.", L"MSG :writing *",
                         L"MSG : TreskPostLogs folder does not exists.",
                         L"MSG : successfully moved " + folder + name + L" to " + folder +
                             L"TreskPostLogs\\" + name};
    EXPECT_TRUE(
        matchesLines(*log, linesUpToThePost(machine) + tries + spool + kFinishCreatingTheArchive));
    EXPECT_EQ(AgentMachine::readFile(folder + L"TreskPostLogs\\" + name), reportOf(*log) + "\r\n");
}

TEST(ReportDelivery, ALibraryThatCannotBeCreatedIsNamedInTheLog) {
    AgentMachine machine(L"not creatable");
    machine.seedNormalAgent();
    // A file of the right name that is no COM server: registration fails, creation too.
    AgentMachine::writeFile(machine.installFolder() + L"\\Mavlin.dll", "not a library");

    EXPECT_EQ(machine.runTavrel(), ExitStatus::ReportLost);

    const auto log = machine.archivedLogMessages();
    ASSERT_TRUE(log);
    Lines expected = linesUpToThePost(machine);
    expected.resize(expected.size() - 3);
    expected.push_back(L"ERR : in sendWebPost function() *");
    EXPECT_TRUE(matchesLines(*log, expected + kFinishCreatingTheArchive));
    EXPECT_TRUE(machine.spooledFiles().empty());
}

// Names in a folder that start with the spool prefix.
std::vector<std::wstring> spoolNamesIn(const std::wstring& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW entry{};
    HANDLE search = FindFirstFileW((folder + L"\\wpsysuptimedata*").c_str(), &entry);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            names.push_back(entry.cFileName);
        } while (FindNextFileW(search, &entry));
        FindClose(search);
    }
    return names;
}

TEST(ReportDelivery, ARegistrationIdWithPathCharactersSpoolsUnderItsEncodedName) {
    AgentMachine machine(L"odd regid");
    machine.seedNormalAgent();
    machine.setString("REGID", "..\\..\\a/b");
    machine.installWebPostDouble("false");

    EXPECT_EQ(machine.runTavrel(), ExitStatus::Spooled);

    const auto files = machine.spooledFiles();
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].rfind(L"wpsysuptimedata_N_..%5C..%5Ca%2Fb_", 0), 0u) << files[0].c_str();
    for (const auto& folder : {machine.installFolder(), machine.workingFolder(),
                               std::wstring(L"C:\\Tavrel E2E"), machine.exeFolder()}) {
        EXPECT_TRUE(spoolNamesIn(folder).empty()) << folder.c_str();
    }
    const auto log = machine.archivedLogMessages();
    ASSERT_TRUE(log);
    const std::wstring folder = machine.installFolder() + L"\\";
    EXPECT_EQ((*log)[log->size() - 6], L"MSG : successfully moved " + folder + files[0] + L" to " +
                                           folder + L"TreskPostLogs\\" + files[0]);
}

}  // namespace
}  // namespace tavrel::e2e
