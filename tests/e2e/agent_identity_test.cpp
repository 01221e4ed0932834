// The real program under Wine reading the agent's identity from the real registry.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <string>
#include <vector>

#include "platform/win32/ansi_text.h"
#include "support/e2e_harness.h"
#include "support/line_match.h"

namespace tavrel::e2e {
namespace {

using Lines = std::vector<std::wstring>;

Lines identityLines(const AgentMachine& machine, const std::wstring& regId) {
    return {L"MSG : Application Started.",
            L"MSG : Member ID :--> M1001",
            L"MSG : SITE ID :--> S2002",
            L"MSG : Agent Type  :--> VAMR",
            L"MSG : Getting Installation Path",
            L"MSG : Installation Path [" + machine.installFolder() + L"\\]",
            L"MSG : Getting REGID from Registry.",
            L"MSG : REGID  :--> " + regId};
}

Lines firstLines(Lines lines, std::size_t count) {
    lines.resize(std::min(count, lines.size()));
    return lines;
}

Lines operator+(Lines lines, const Lines& more) {
    lines.insert(lines.end(), more.begin(), more.end());
    return lines;
}

TEST(AgentIdentity, LowerCaseAndBlanksAreReadNormalised) {
    AgentMachine machine(L"identity normalised");
    machine.seedNormalAgent();
    machine.setString("MEMBERID", "  m1001 ");
    machine.setString("SITEID", "s2002  ");
    machine.setString("TYPE", " vamr ");
    machine.setString("InstallationPath", " " + win32::wideToAnsi(machine.installFolder()) + " ");
    machine.setString("REGID", "  reg-417a ");

    EXPECT_EQ(machine.runTavrel(), ExitStatus::WebPostLibraryMissing);

    const auto messages = machine.runLogMessages();
    ASSERT_TRUE(messages);
    EXPECT_EQ(firstLines(*messages, 8), identityLines(machine, L"reg-417a"));
}

TEST(AgentIdentity, ExitsWriteTheirLinesAndLeaveTheLogNextToTheExecutable) {
    struct Case {
        const wchar_t* scenario;
        const char* value;
        std::string bytes;
        std::size_t normalLinesBefore;  // kOnlyTheLastLines: the lines end the log
        Lines lines;
        ExitStatus status;
        void (*arrange)(AgentMachine&) = nullptr;
    };
    constexpr std::size_t kOnlyTheLastLines = 99;
    const auto openLibraryFolder = [](AgentMachine& machine) {
        machine.installWebPostDouble();
        AgentMachine::letEveryoneWrite(machine.installFolder());
    };
    const Case cases[] = {
        {L"other agent type",
         "TYPE",
         "VAMX",
         3,
         {L"MSG : Agent Type  :--> VAMX", L"MSG : Application Completed."},
         ExitStatus::AgentTypeNotSupported},
        {L"installation folder missing",
         "InstallationPath",
         "C:\\Tavrel E2E\\No Such Folder",
         5,
         {L"MSG : QUENTA Folder [C:\\Tavrel E2E\\No Such Folder\\] is missing",
          L"MSG : Application Completed"},
         ExitStatus::AgentSettingsMissing},
        {L"registration id blank",
         "REGID",
         "   ",
         7,
         {L"MSG : REGID is missing.", L"MSG : Application Completed"},
         ExitStatus::AgentSettingsMissing},
        {L"member id blank",
         "MEMBERID",
         "",
         1,
         {L"MSG : Member ID :--> ", L"MSG : MemberID is missing.", L"MSG : Application Completed."},
         ExitStatus::AgentSettingsMissing},
        // Wine shows write for others in the Unix mode as Everyone's DELETE and more.
        {L"library folder open to others",
         "REGID",
         "417",
         8,
         {L"MSG: Checking for Mavelin.dll.",
          L"ERR : C:\\Tavrel E2E\\library folder open to others\\QUENDA Agent may be changed by "
          L"*",
          L"MSG : Application Completed"},
         ExitStatus::OpenToOthers,
         [](AgentMachine& machine) {
             machine.installWebPostDouble();
             AgentMachine::letEveryoneWrite(machine.installFolder());
         }},
        {L"archive folder open to others",
         "REGID",
         "417",
         kOnlyTheLastLines,
         {L"MSG : Webpost Return String :--> ",
          L"ERR : C:\\Tavrel E2E\\archive folder open to others\\QUENDA Agent\\ApplicationLog "
          L"may be changed by *",
          L"MSG : Application Completed"},
         ExitStatus::Delivered,
         [](AgentMachine& machine) {
             machine.installWebPostDouble();
             const std::wstring archive = machine.installFolder() + L"\\ApplicationLog";
             ASSERT_TRUE(CreateDirectoryW(archive.c_str(), nullptr));
             AgentMachine::letEveryoneWrite(archive);
         }},
        // Links into an open folder: a Windows program under Wine cannot make one
        // (CreateSymbolicLinkW reports success and makes nothing), so make-links.sh makes
        // them on the Linux side, and the bundle's run-tests.cmd on Windows. Wine shows a
        // link's own owner as its target's: only the fake shows one refused for its owner.
        {L"link install",
         "InstallationPath",
         "C:\\Tavrel E2E Links\\install",
         kOnlyTheLastLines,
         {L"ERR : C:\\Tavrel E2E Links\\install\\Mavlin.dll leads to C:\\Tavrel E2E\\link "
          L"install\\QUENDA Agent\\Mavlin.dll, and C:\\Tavrel E2E\\link install\\QUENDA Agent "
          L"may be changed by *",
          L"MSG : Application Completed"},
         ExitStatus::OpenToOthers,
         openLibraryFolder},
        {L"link library",
         "InstallationPath",
         "C:\\Tavrel E2E Links\\library agent",
         kOnlyTheLastLines,
         {L"ERR : C:\\Tavrel E2E Links\\library agent\\Mavlin.dll leads to C:\\Tavrel "
          L"E2E\\link library\\QUENDA Agent\\Mavlin.dll, and C:\\Tavrel E2E\\link "
          L"library\\QUENDA Agent may be changed by *",
          L"MSG : Application Completed"},
         ExitStatus::OpenToOthers,
         openLibraryFolder},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.scenario)));
        AgentMachine machine(c.scenario);
        machine.seedNormalAgent();
        machine.setString(c.value, c.bytes);
        if (c.arrange != nullptr) {
            c.arrange(machine);
        }

        EXPECT_EQ(machine.runTavrel(), c.status);

        const auto log = machine.exeLogMessages();
        ASSERT_TRUE(log);
        if (c.normalLinesBefore == kOnlyTheLastLines) {
            ASSERT_GE(log->size(), c.lines.size());
            EXPECT_TRUE(matchesLines(
                Lines(log->end() - static_cast<long>(c.lines.size()), log->end()), c.lines));
        } else {
            EXPECT_TRUE(matchesLines(
                *log, firstLines(identityLines(machine, L"417"), c.normalLinesBefore) + c.lines));
        }
        EXPECT_FALSE(AgentMachine::readFile(machine.archivedLogPath()));
        if (c.status == ExitStatus::OpenToOthers) {
            // Neither registered nor loaded, so never called.
            HKEY key = nullptr;
            EXPECT_NE(RegOpenKeyExW(HKEY_CLASSES_ROOT, L"Mavlin.WebPost", 0, KEY_READ, &key),
                      ERROR_SUCCESS);
            EXPECT_FALSE(machine.webPostJournal());
        }
    }
}

// Under Wine tests/e2e/make-links.sh makes this link on the Linux side, and on Windows the
// bundle's run-tests.cmd (see the table above): to a protected folder, it is followed.
TEST(AgentIdentity, ALinkToAProtectedFolderIsFollowed) {
    AgentMachine machine(L"link protected");
    machine.seedNormalAgent();
    machine.installWebPostDouble();
    machine.setString("InstallationPath", "C:\\Tavrel E2E Links\\protected");

    EXPECT_EQ(machine.runTavrel(), ExitStatus::Delivered);

    EXPECT_TRUE(machine.webPostJournal());
}

TEST(AgentIdentity, RawRegistryDataOfOddShapesIsHandledInOrder) {
    struct Case {
        const wchar_t* scenario;
        DWORD type;
        std::string bytes;
        Lines lines;
        ExitStatus status = ExitStatus::AgentSettingsMissing;
    };
    const Lines missing = {L"MSG : Member ID :--> ", L"MSG : MemberID is missing.",
                           L"MSG : Application Completed."};
    const Case cases[] = {
        {L"member id of zero length", REG_SZ, "",
         Lines{L"ERR  : 5 : Invalid procedure call or argument"} + missing},
        // The ANSI query leaves room for a terminator, so such text reads whole.
        {L"member id without terminator",
         REG_SZ,
         "M1001",
         {L"MSG : Member ID :--> M1001", L"MSG : SITE ID :--> S2002"},
         ExitStatus::WebPostLibraryMissing},
        {L"member id expandable", REG_EXPAND_SZ, std::string("M1001\0", 6), missing},
        {L"member id a number", REG_DWORD, std::string("\x01\0\0\0", 4), missing},
        {L"member id binary", REG_BINARY, std::string("M1\0", 3), missing},
        {L"member id with embedded NUL",
         REG_SZ,
         std::string("M1\0XY\0", 6),
         {L"MSG : Member ID :--> M1", L"MSG : SITE ID :--> S2002"},
         ExitStatus::WebPostLibraryMissing},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.scenario)));
        AgentMachine machine(c.scenario);
        machine.seedNormalAgent();
        machine.setValue("MEMBERID", c.type, c.bytes);

        EXPECT_EQ(machine.runTavrel(), c.status);

        const auto messages = machine.runLogMessages();
        ASSERT_TRUE(messages);
        EXPECT_EQ(firstLines(*messages, 1 + c.lines.size()),
                  Lines{L"MSG : Application Started."} + c.lines);
    }
}

// The agent's folder lies under the working folder the program starts in: named
// relatively, it must still count as missing, its library never registered.
TEST(AgentIdentity, RelativeInstallationPathIsAMissingFolder) {
    AgentMachine machine(L"relative path");
    machine.seedNormalAgent();
    machine.installWebPostDouble("true");
    machine.setString("InstallationPath", "QUENDA Agent");

    EXPECT_EQ(machine.runTavrel(), ExitStatus::AgentSettingsMissing);

    const Lines expected =
        firstLines(identityLines(machine, L"417"), 5) +
        Lines{L"MSG : QUENTA Folder [QUENDA Agent\\] is missing", L"MSG : Application Completed"};
    EXPECT_EQ(machine.exeLogMessages(), expected);
    HKEY registered = nullptr;
    EXPECT_NE(RegOpenKeyExW(HKEY_CLASSES_ROOT, L"Mavlin.WebPost", 0, KEY_READ, &registered),
              ERROR_SUCCESS);
    EXPECT_FALSE(machine.webPostJournal());
    for (const auto& folder : {machine.installFolder(), machine.workingFolder()}) {
        for (const wchar_t* name : {L"\\ApplicationLog", L"\\TreskPostLogs", L"\\TavrelLog.txt"}) {
            EXPECT_EQ(GetFileAttributesW((folder + name).c_str()), INVALID_FILE_ATTRIBUTES)
                << (folder + name).c_str();
        }
    }
}

}  // namespace
}  // namespace tavrel::e2e
