#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "context/up_time.h"
#include "log/run_log.h"
#include "support/fake_platform.h"
#include "uptime/tick_fallback.h"
#include "uptime/wmi_uptime.h"

namespace tavrel {
namespace {

using fake::FakePlatform;
using Lines = std::vector<std::wstring>;

const std::wstring kQueryLine =
    L"MSG : Executing Select * From Win32_PerfFormattedData_PerfOS_System query.";

class UpTimeTest : public testing::Test {
  protected:
    UpTimeTest() : run_(os_.view()) {
        run_.state.gFso = os_.fileSystems.createFileSystem();
        createRunLog(run_);
    }

    FakePlatform os_;
    RunContext run_;
};

TEST(UpTimeValue, TextFormAndComparisonWithZero) {
    EXPECT_EQ(UpTime().text(), L"0");
    EXPECT_TRUE(UpTime().isZero());
    EXPECT_EQ(UpTime::fromText(L"123456").text(), L"123456");
    EXPECT_FALSE(UpTime::fromText(L"123456").isZero());
    EXPECT_TRUE(UpTime::fromText(L"0").isZero());
    EXPECT_TRUE(UpTime::fromText(L"000").isZero());
    EXPECT_EQ(UpTime::fromSeconds(4294967).text(), L"4294967");
    EXPECT_THROW(UpTime::fromText(L"").isZero(), Error);
    EXPECT_THROW(UpTime::fromText(L"12a").isZero(), Error);
}

TEST_F(UpTimeTest, EveryInstanceIsLoggedAndTheLastOneKept) {
    struct Case {
        std::vector<std::wstring> values;
        std::wstring kept;
    };
    const Case cases[] = {{{L"900"}, L"900"}, {{L"0"}, L"0"}, {{L"12", L"34"}, L"34"}};
    for (const auto& c : cases) {
        FakePlatform os;
        RunContext run(os.view());
        run.state.gFso = os.fileSystems.createFileSystem();
        createRunLog(run);
        os.wmi.instances.clear();
        Lines expected = {L"MSG : WMI object created.",
                          L"MSG : WbemScripting.SWbemLocator object created.", kQueryLine};
        for (const auto& value : c.values) {
            os.wmi.instances.push_back({{L"SystemUpTime", value}});
            expected.push_back(L"MSG : System Up time is [ " + value + L" ]");
        }

        EXPECT_TRUE(getSystemUpTime(run));
        EXPECT_EQ(run.state.gUpTime.text(), c.kept);
        EXPECT_EQ(os.exeLogMessages(), expected);
        EXPECT_EQ(os.wmi.liveSessions, 0);
    }
}

TEST_F(UpTimeTest, WmiStepsAreMadeInOrderWithTheirArguments) {
    getSystemUpTime(run_);
    Lines steps;
    for (const auto& call : os_.ops.calls()) {
        if (call.operation.rfind("Wmi", 0) == 0) {
            steps.push_back(std::wstring(call.operation.begin(), call.operation.end()) + L" " +
                            call.detail);
        }
    }
    EXPECT_EQ(steps,
              (Lines{L"WmiOpenSession ", L"WmiBindMoniker winmgmts:\\\\.\\root\\cimv2",
                     L"WmiCreateLocator WbemScripting.SWbemLocator", L"WmiSetImpersonationLevel 3",
                     L"WmiConnectServer .|root\\CIMV2||",
                     L"WmiExecQuery Select * From Win32_PerfFormattedData_PerfOS_System",
                     L"WmiNextResult ", L"WmiReadProperty SystemUpTime", L"WmiNextResult "}));
}

TEST_F(UpTimeTest, FailureAtAnyStepLogsTwoErrorLinesAndKeepsWhatWasRead) {
    struct Case {
        const char* operation;
        int nth;
        std::size_t progressLines;
        std::wstring kept;
    };
    const Case cases[] = {
        {"WmiOpenSession", 1, 0, L"0"},   {"WmiBindMoniker", 1, 0, L"0"},
        {"WmiCreateLocator", 1, 1, L"0"}, {"WmiSetImpersonationLevel", 1, 2, L"0"},
        {"WmiConnectServer", 1, 2, L"0"}, {"WmiExecQuery", 1, 3, L"0"},
        {"WmiNextResult", 1, 3, L"0"},    {"WmiReadProperty", 1, 3, L"0"},
        {"WmiNextResult", 2, 4, L"900"},
    };
    const Lines progress = {L"MSG : WMI object created.",
                            L"MSG : WbemScripting.SWbemLocator object created.", kQueryLine,
                            L"MSG : System Up time is [ 900 ]"};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.operation << " call " << c.nth);
        FakePlatform os;
        RunContext run(os.view());
        run.state.gFso = os.fileSystems.createFileSystem();
        createRunLog(run);
        os.ops.failCall(c.operation, c.nth, Error(-2147217394, L"Access denied\r\nby policy"));

        EXPECT_FALSE(getSystemUpTime(run));
        Lines expected(progress.begin(), progress.begin() + static_cast<long>(c.progressLines));
        // The description keeps its line break, so that entry spans two lines of the file.
        expected.push_back(L"ERR : Err using WMI Err Description : Access denied");
        expected.push_back(L"by policy");
        expected.push_back(
            L"ERR : Error in getSystemUpTime Function Error Details [ Access denied  by policy ].");
        EXPECT_EQ(os.exeLogMessages(), expected);
        EXPECT_EQ(run.state.gUpTime.text(), c.kept);
        EXPECT_EQ(os.wmi.liveSessions, 0);
    }
}

TEST_F(UpTimeTest, NoInstanceIsAFailureNotAnUptimeOfZero) {
    os_.wmi.instances.clear();
    EXPECT_FALSE(getSystemUpTime(run_));
    EXPECT_EQ(
        os_.exeLogMessages(),
        (Lines{L"MSG : WMI object created.", L"MSG : WbemScripting.SWbemLocator object created.",
               kQueryLine, L"ERR : Err using WMI Err Description : The query returned no instance",
               L"ERR : Error in getSystemUpTime Function Error Details [ The query "
               L"returned no instance ]."}));
}

TEST(TickRounding, HalvesGoToTheEvenNeighbour) {
    struct Case {
        std::uint64_t ticks;
        std::uint64_t seconds;
        std::uint64_t minutes;
    };
    const Case cases[] = {
        {0, 0, 0},
        {2500, 2, 0},
        {3500, 4, 0},
        {90000, 90, 2},
        {150000, 150, 2},
        {1234567, 1235, 21},
        {86400000, 86400, 1440},
        {2147483648ull, 2147484, 35791},
        {3000000000ull, 3000000, 50000},
        {4294967295ull, 4294967, 71583},
        {4294967296ull, 4294967, 71583},  // past 49.7 days: no restart at zero
        {8640000000ull, 8640000, 144000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.ticks);
        EXPECT_EQ(roundToUnits(c.ticks, 1000), c.seconds);
        EXPECT_EQ(roundToUnits(c.ticks, 60000), c.minutes);
    }
}

TEST_F(UpTimeTest, FallbackReplacesZeroAndLeavesAMeasuredValueAlone) {
    struct Case {
        UpTime before;
        std::wstring after;
        Lines lines;
    };
    const Case cases[] = {
        {UpTime(), L"1235", {L"MSG : System UP Time : 21 minutes."}},
        {UpTime::fromText(L"0"), L"1235", {L"MSG : System UP Time : 21 minutes."}},
        {UpTime::fromText(L"77"), L"77", {}},
    };
    for (const auto& c : cases) {
        FakePlatform os;
        RunContext run(os.view());
        run.state.gFso = os.fileSystems.createFileSystem();
        createRunLog(run);
        os.system.ticks = 1234567;
        run.state.gUpTime = c.before;

        EXPECT_TRUE(getUpTimeByAPI(run));
        EXPECT_EQ(run.state.gUpTime.text(), c.after);
        EXPECT_EQ(os.exeLogMessages(), c.lines);
        EXPECT_EQ(run.state.gUpTimeError, L"");
    }
}

TEST_F(UpTimeTest, FallbackErrorSetsTheUptimeErrorEvenWithoutADescription) {
    struct Case {
        Error error;
        std::wstring uptimeError;
    };
    const Case cases[] = {{Error(5, L"Tick count unavailable"), L"Tick count unavailable"},
                          {Error(5, L""), L"Error 5"}};
    for (const auto& c : cases) {
        FakePlatform os;
        RunContext run(os.view());
        run.state.gFso = os.fileSystems.createFileSystem();
        createRunLog(run);
        os.ops.failEvery("TickCount", c.error);

        EXPECT_FALSE(getUpTimeByAPI(run));
        EXPECT_EQ(run.state.gUpTimeError, c.uptimeError);
        EXPECT_EQ(os.exeLogMessages(),
                  Lines{L"ERR : Err while API. Err description : " + c.uptimeError});
    }
}

}  // namespace
}  // namespace tavrel
