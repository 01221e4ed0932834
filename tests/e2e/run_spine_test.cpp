// The real program under Wine: how a run starts, and its exits before the agent's
// identity is read.
#include <gtest/gtest.h>

#include <cstddef>
#include <cwctype>
#include <optional>
#include <string>
#include <vector>

#include "platform/win32/single_instance.h"
#include "platform/win32/unique_resource.h"
#include "support/e2e_harness.h"
#include "support/log_lines.h"

namespace tavrel::e2e {
namespace {

using Lines = std::vector<std::wstring>;

const Lines kRegistryMissing = {L"MSG : Application Started.", L"MSG : Registry is missing",
                                L"MSG : Application Completed"};

bool isDigit(wchar_t c) {
    return c >= L'0' && c <= L'9';
}

// "MM/DD/YYYY HH:MM:SS" and a tab, with the regional time separator at the colons.
bool hasTimestamp(const std::wstring& line) {
    const std::wstring digits = L"01 34 6789 ab de gh";
    if (line.size() < 20 || line[19] != L'\t' || line[2] != L'/' || line[5] != L'/' ||
        line[10] != L' ') {
        return false;
    }
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (digits[i] != L' ' && !isDigit(line[i])) {
            return false;
        }
    }
    return true;
}

TEST(RunSpine, AgentKeyAbsentLeavesThreeLinesNextToTheExecutable) {
    AgentMachine machine(L"key absent");

    EXPECT_EQ(machine.runTavrel(), ExitStatus::AgentSettingsMissing);

    EXPECT_EQ(machine.exeLogMessages(), kRegistryMissing);
    const auto bytes = AgentMachine::readFile(machine.exeLogPath());
    ASSERT_TRUE(bytes);
    for (const auto& line : fake::linesOf(std::wstring(bytes->begin(), bytes->end()))) {
        EXPECT_TRUE(hasTimestamp(line)) << testing::PrintToString(line);
    }
    EXPECT_EQ(bytes->substr(bytes->size() - 2), "\r\n");
}

// The child's switch names handles the run hands over: by hand, with any values, the
// program does nothing at all, and waits for nobody; other arguments get a normal run.
TEST(RunSpine, ByHandTheChildsSwitchDoesNothingAndOtherArgumentsRunAsAlways) {
    const struct {
        const wchar_t* arguments;
        ExitStatus status;
        bool runs;
    } cases[] = {
        {L"--webpost-child 4 8", ExitStatus::StoppedByError, false},
        {L"--webpost-child 0 0", ExitStatus::StoppedByError, false},
        {L"--webpost-child 12", ExitStatus::StoppedByError, false},
        {L"--webpost-child", ExitStatus::AgentSettingsMissing, true},
        {L"/? extra", ExitStatus::AgentSettingsMissing, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.arguments)));
        AgentMachine machine(L"by hand");

        EXPECT_EQ(machine.runTavrel(c.arguments), c.status);

        EXPECT_EQ(machine.exeLogMessages(),
                  c.runs ? std::optional(kRegistryMissing) : std::nullopt);
    }
}

TEST(RunSpine, EachRunReplacesTheLogAnEarlierRunLeft) {
    AgentMachine machine(L"second run");
    AgentMachine::writeFile(machine.exeLogPath(), "01/01/2020 00:00:00\tleft over\r\n");

    EXPECT_EQ(machine.runTavrel(), ExitStatus::AgentSettingsMissing);
    EXPECT_EQ(machine.runTavrel(), ExitStatus::AgentSettingsMissing);

    EXPECT_EQ(machine.exeLogMessages(), kRegistryMissing);
}

TEST(RunSpine, AnotherCopyRunningMakesTheRunEndWithoutTouchingTheLog) {
    AgentMachine machine(L"second copy");
    const std::string runningCopysLog = "01/01/2020 00:00:00\tMSG : Application Started.\r\n";
    AgentMachine::writeFile(machine.exeLogPath(), runningCopysLog);

    // Hold the claim a running copy would hold.
    win32::UniqueHandle claim(CreateMutexW(nullptr, TRUE, win32::kSingleInstanceMutexName));
    ASSERT_TRUE(claim);
    EXPECT_EQ(machine.runTavrel(), ExitStatus::AnotherCopyRunning);
    claim.reset();

    EXPECT_EQ(AgentMachine::readFile(machine.exeLogPath()), runningCopysLog);
}

TEST(RunSpine, EmptyAgentKeyIsOpenedAndItsFirstAbsentValueEndsTheRun) {
    AgentMachine machine(L"key empty");
    machine.createAgentKey();

    EXPECT_EQ(machine.runTavrel(), ExitStatus::AgentSettingsMissing);

    EXPECT_EQ(machine.exeLogMessages(),
              (Lines{L"MSG : Application Started.", L"ERR  : MEMBERID is Missing in Registy",
                     L"MSG : Application finished."}));
}

}  // namespace
}  // namespace tavrel::e2e
