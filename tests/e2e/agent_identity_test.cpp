// The real program under Wine reading the agent's identity from the real registry.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <string>
#include <vector>

#include "platform/win32/ansi_text.h"
#include "support/e2e_harness.h"

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

    machine.runTavrel();

    const auto messages = machine.runLogMessages();
    ASSERT_TRUE(messages);
    EXPECT_EQ(firstLines(*messages, 8), identityLines(machine, L"reg-417a"));
}

TEST(AgentIdentity, ExitsWriteTheirLinesAndLeaveTheLogNextToTheExecutable) {
    struct Case {
        const wchar_t* scenario;
        const char* value;
        std::string bytes;
        std::size_t normalLinesBefore;
        Lines lines;
    };
    const Case cases[] = {
        {L"other agent type",
         "TYPE",
         "VAMX",
         3,
         {L"MSG : Agent Type  :--> VAMX", L"MSG : Application Completed."}},
        {L"installation folder missing",
         "InstallationPath",
         "C:\\Tavrel E2E\\No Such Folder",
         5,
         {L"MSG : QUENTA Folder [C:\\Tavrel E2E\\No Such Folder\\] is missing",
          L"MSG : Application Completed"}},
        {L"registration id blank",
         "REGID",
         "   ",
         7,
         {L"MSG : REGID is missing.", L"MSG : Application Completed"}},
        {L"member id blank",
         "MEMBERID",
         "",
         1,
         {L"MSG : Member ID :--> ", L"MSG : MemberID is missing.",
          L"MSG : Application Completed."}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.scenario)));
        AgentMachine machine(c.scenario);
        machine.seedNormalAgent();
        machine.setString(c.value, c.bytes);

        machine.runTavrel();

        EXPECT_EQ(machine.exeLogMessages(),
                  firstLines(identityLines(machine, L"417"), c.normalLinesBefore) + c.lines);
    }
}

TEST(AgentIdentity, RawRegistryDataOfOddShapesIsHandledInOrder) {
    struct Case {
        const wchar_t* scenario;
        DWORD type;
        std::string bytes;
        Lines lines;
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
         {L"MSG : Member ID :--> M1001", L"MSG : SITE ID :--> S2002"}},
        {L"member id expandable", REG_EXPAND_SZ, std::string("M1001\0", 6), missing},
        {L"member id a number", REG_DWORD, std::string("\x01\0\0\0", 4), missing},
        {L"member id binary", REG_BINARY, std::string("M1\0", 3), missing},
        {L"member id with embedded NUL",
         REG_SZ,
         std::string("M1\0XY\0", 6),
         {L"MSG : Member ID :--> M1", L"MSG : SITE ID :--> S2002"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.scenario)));
        AgentMachine machine(c.scenario);
        machine.seedNormalAgent();
        machine.setValue("MEMBERID", c.type, c.bytes);

        machine.runTavrel();

        const auto messages = machine.runLogMessages();
        ASSERT_TRUE(messages);
        EXPECT_EQ(firstLines(*messages, 1 + c.lines.size()),
                  Lines{L"MSG : Application Started."} + c.lines);
    }
}

}  // namespace
}  // namespace tavrel::e2e
