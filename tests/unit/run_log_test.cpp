#include "log/run_log.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/fake_platform.h"
#include "support/log_lines.h"

namespace tavrel {
namespace {

using fake::FakePlatform;

TEST(LogTimestamp, MonthFirstOn24HourClockWithRegionalSeparator) {
    struct Case {
        LocalTime time;
        const wchar_t* separator;
        const wchar_t* expected;
    };
    const Case cases[] = {
        {{2026, 3, 7, 14, 5, 9}, L":", L"03/07/2026 14:05:09"},
        {{2026, 12, 31, 23, 59, 59}, L":", L"12/31/2026 23:59:59"},
        {{2027, 1, 1, 0, 0, 0}, L":", L"01/01/2027 00:00:00"},
        {{2026, 3, 7, 14, 5, 9}, L".", L"03/07/2026 14.05.09"},
        {{2026, 3, 7, 2, 5, 9}, L" h ", L"03/07/2026 02 h 05 h 09"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(formatLogTimestamp(c.time, c.separator), c.expected);
    }
}

class WriteLogTest : public testing::Test {
  protected:
    WriteLogTest() : run_(os_.view()) {}

    void openLog() {
        run_.state.gFso = os_.fileSystems.createFileSystem();
        createRunLog(run_);
    }
    std::wstring logText() const { return os_.tree.content(os_.exeLogPath()).value_or(L"<none>"); }

    FakePlatform os_;
    RunContext run_;
};

TEST_F(WriteLogTest, LineIsTimestampTabMessageCrLfAndMessageIsUnchanged) {
    openLog();
    writeLog(run_, L"MSG : Application Started.");
    writeLog(run_, L"");
    writeLog(run_, L"first\r\nsecond");
    EXPECT_EQ(logText(),
              L"03/07/2026 14:05:09\tMSG : Application Started.\r\n"
              L"03/07/2026 14:05:09\t\r\n"
              L"03/07/2026 14:05:09\tfirst\r\nsecond\r\n");
}

TEST_F(WriteLogTest, CreatingTheLogReplacesAnEarlierRunsLog) {
    os_.tree.addFile(os_.exeLogPath(), L"old\tline one\r\nold\tline two\r\n");
    openLog();
    writeLog(run_, L"new");
    EXPECT_EQ(os_.exeLogMessages(), std::vector<std::wstring>{L"new"});
}

TEST_F(WriteLogTest, LinesWithoutAnOpenLogAreDroppedSilently) {
    writeLog(run_, L"before the log exists");
    openLog();
    writeLog(run_, L"kept");
    run_.state.gLogStream.reset();
    writeLog(run_, L"after the log is released");
    EXPECT_EQ(os_.exeLogMessages(), std::vector<std::wstring>{L"kept"});
}

TEST_F(WriteLogTest, AFailureLosesThatLineOnly) {
    struct Case {
        const char* operation;
        int nth;
    };
    const Case cases[] = {{"WriteLine", 2}, {"Now", 2}, {"TimeSeparator", 2}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.operation);
        FakePlatform os;
        RunContext run(os.view());
        os.ops.failCall(c.operation, c.nth, Error(70, L"Permission denied"));
        run.state.gFso = os.fileSystems.createFileSystem();
        createRunLog(run);
        writeLog(run, L"one");
        writeLog(run, L"two");
        writeLog(run, L"three");
        EXPECT_EQ(os.exeLogMessages(), (std::vector<std::wstring>{L"one", L"three"}));
    }
}

TEST_F(WriteLogTest, ClosedStreamDropsLinesWithoutError) {
    openLog();
    writeLog(run_, L"kept");
    {
        const LockHold hold(*run_.logLock);  // as the run's own release does
        run_.state.gLogStream->close();
    }
    writeLog(run_, L"dropped");
    EXPECT_EQ(os_.exeLogMessages(), std::vector<std::wstring>{L"kept"});
}

}  // namespace
}  // namespace tavrel
