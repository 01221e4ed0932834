#include "run/run_sequence.h"

#include <gtest/gtest.h>

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

TEST(RunSequence, OpensTheAgentKeyForFullAccessAndClosesIt) {
    FakePlatform os;
    RunContext run(os.view());

    EXPECT_EQ(fake::runMain(run), Ending::Returned);

    EXPECT_EQ(os.ops.count("RegOpenKeyEx"), 1);
    for (const auto& call : os.ops.calls()) {
        if (call.operation == "RegOpenKeyEx") {
            EXPECT_EQ(call.detail, L"Software\\QUENDA options=0 access=983103");
        }
    }
    EXPECT_EQ(os.registry.openKeyCount(), 0u);
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

}  // namespace
}  // namespace tavrel
