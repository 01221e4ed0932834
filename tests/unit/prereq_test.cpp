#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <set>
#include <string>
#include <vector>

#include "log/run_log.h"
#include "prereq/scripting_runtime.h"
#include "prereq/web_post_component.h"
#include "support/fake_platform.h"
#include "support/log_lines.h"

namespace tavrel {
namespace {

using fake::Ending;
using fake::FakePlatform;
using Lines = std::vector<std::wstring>;
using Ops = std::vector<std::string>;

const std::wstring kScripting = L"Scripting.FileSystemObject";
const std::wstring kLibrary = std::wstring(FakePlatform::kInstallPath) + L"Mavlin.dll";
const std::wstring kArchivedLog =
    std::wstring(FakePlatform::kInstallPath) + L"ApplicationLog\\TavrelLog.txt";

Ops operationsOf(const FakePlatform& os, const std::set<std::string>& kept) {
    Ops ops;
    for (const auto& call : os.ops.calls()) {
        if (kept.count(call.operation) != 0) {
            ops.push_back(call.operation);
        }
    }
    return ops;
}

std::vector<std::wstring> commandLines(const FakePlatform& os) {
    std::vector<std::wstring> lines;
    for (const auto& start : os.system.started) {
        EXPECT_EQ(start.program, L"regsvr32.exe");
        lines.push_back(start.commandLine);
    }
    return lines;
}

// The runtime is registered, but the first trial fails with the given number.
void failFirstTrial(FakePlatform& os, std::int32_t number) {
    os.ops.failCall("CreateObject", 1, Error(number, L"trial failed"));
}

void addLibrary(FakePlatform& os) {
    os.tree.addFile(kLibrary, L"");
}

void removeLibrary(FakePlatform& os) {
    os.tree.files.erase(
        fake::FileTree::keyOf(FakePlatform::kInstallPath + std::wstring(L"Mavlin.dll")));
}

TEST(ScriptingRuntime, RegistersOnlyForTheErrorsOfAMissingRegistration) {
    struct Case {
        const char* what;
        void (*arrange)(FakePlatform&);
        Ops ops;
        std::vector<std::wstring> started;
    };
    const Ops registers = {"CreateObject", "StartProgram", "Sleep", "CreateObject"};
    const std::vector<std::wstring> scrrun = {
        L"regsvr32.exe -s \"C:\\Windows\\System32\\scrrun.dll\""};
    const Case cases[] = {
        {"registered", [](FakePlatform&) {}, {"CreateObject"}, {}},
        {"class not registered", [](FakePlatform& os) { os.automation.removeClass(kScripting); },
         registers, scrrun},
        {"module not found", [](FakePlatform& os) { failFirstTrial(os, -2147024770); }, registers,
         scrrun},
        {"type library not registered", [](FakePlatform& os) { failFirstTrial(os, -2147319779); },
         registers, scrrun},
        {"permission denied",
         [](FakePlatform& os) { failFirstTrial(os, 70); },
         {"CreateObject"},
         {}},
        {"access denied",
         [](FakePlatform& os) { failFirstTrial(os, -2147024891); },
         {"CreateObject"},
         {}},
        // The pause and the second trial stay when the tool cannot be started.
        {"tool cannot be started",
         [](FakePlatform& os) {
             os.automation.removeClass(kScripting);
             os.ops.failEvery("StartProgram", Error(2, L"not found"));
         },
         registers,
         {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FakePlatform os;
        c.arrange(os);
        RunContext run(os.view());

        checkScriptingRuntime(run);

        EXPECT_EQ(operationsOf(os, {"CreateObject", "StartProgram", "Sleep"}), c.ops);
        EXPECT_EQ(commandLines(os), c.started);
        EXPECT_EQ(os.system.pauses, c.ops == registers ? std::vector<std::uint32_t>{1000}
                                                       : std::vector<std::uint32_t>{});
        EXPECT_EQ(os.automation.liveObjects, 0);
        EXPECT_EQ(os.tree.filePaths(), FakePlatform().tree.filePaths());
    }
}

TEST(ScriptingRuntime, LibraryPathComesFromTheWindowsFolderOrIsNotRegisteredAtAll) {
    struct Case {
        const char* what;
        std::wstring windowsFolder;
        bool queryFails;
        std::wstring library;  // empty: nothing may be started
    };
    const std::wstring longest(199, L'w');
    const Case cases[] = {
        {"plain", L"C:\\Windows", false, L"C:\\Windows\\System32\\scrrun.dll"},
        {"drive root", L"C:\\", false, L"C:\\System32\\scrrun.dll"},
        {"blanks around", L"  C:\\Windows  ", false, L"C:\\Windows\\System32\\scrrun.dll"},
        {"blanks inside", L"D:\\Win Dir", false, L"D:\\Win Dir\\System32\\scrrun.dll"},
        {"query fails", L"C:\\Windows", true, L""},
        {"only blanks", L"   ", false, L""},
        {"longest that fits", longest, false, longest + L"\\System32\\scrrun.dll"},
        {"too long for the buffer", longest + L"w", false, L""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FakePlatform os;
        os.automation.removeClass(kScripting);
        os.system.windowsFolder = c.windowsFolder;
        if (c.queryFails) {
            os.ops.failEvery("GetWindowsDirectory", Error(5, L"Access is denied"));
        }
        RunContext run(os.view());

        checkScriptingRuntime(run);

        const std::vector<std::wstring> expected =
            c.library.empty()
                ? std::vector<std::wstring>{}
                : std::vector<std::wstring>{L"regsvr32.exe -s \"" + c.library + L"\""};
        EXPECT_EQ(commandLines(os), expected);
        // Started or not, the pause and the second trial follow.
        EXPECT_EQ(os.system.pauses, std::vector<std::uint32_t>{1000});
        EXPECT_EQ(os.ops.count("CreateObject"), 2);
    }
}

TEST(WebPostComponent, RegistersThePresentLibraryOrReportsItMissing) {
    struct Case {
        const char* what;
        void (*arrange)(FakePlatform&, RunContext&);
        bool present;
        std::vector<std::wstring> started;
        std::vector<std::uint32_t> pauses;
        Lines lines;
        // The library's process, started as the registration's pause begins.
        int childStarts = 0;
    };
    const auto present = [](FakePlatform& os, RunContext&) { addLibrary(os); };
    const std::vector<std::wstring> quoted = {
        L"regsvr32.exe -s \"C:\\Program Files\\QUENDA Agent\\Mavlin.dll\""};
    const Lines started = {L"MSG : Application Started."};
    const Lines missing = {L"MSG : Application Started.", L"MSG : Mavlin.dll is missing."};
    const Case cases[] = {
        {"present", present, true, quoted, {1000}, started, 1},
        {"missing",
         [](FakePlatform& os, RunContext&) { removeLibrary(os); },
         false,
         {},
         {},
         missing},
        // A bare name would be found in the working folder: never registered.
        {"no installation path",
         [](FakePlatform& os, RunContext& run) {
             run.state.gInstallPath.clear();
             os.tree.addFile(L"Mavlin.dll", L"");
         },
         false,
         {},
         {},
         missing},
        {"tool cannot be started",
         [](FakePlatform& os, RunContext&) {
             addLibrary(os);
             os.ops.failEvery("StartProgram", Error(2, L"not found"));
         },
         true,
         {},
         {},
         started,
         1},
        {"existence test fails",
         [](FakePlatform& os, RunContext&) {
             addLibrary(os);
             os.ops.failEvery("FileExists", Error(70, L"Permission denied"));
         },
         true,
         {},
         {},
         started},
        {"own file-system object cannot be created",
         [](FakePlatform& os, RunContext&) {
             addLibrary(os);
             os.ops.failEvery("CreateFileSystem", Error(429, L"cannot create"));
         },
         true,
         {},
         {},
         started},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FakePlatform os;
        RunContext run(os.view());
        run.state.gInstallPath = FakePlatform::kInstallPath;
        run.state.gFso = os.fileSystems.createFileSystem();
        createRunLog(run);
        writeLog(run, L"MSG : Application Started.");
        c.arrange(os, run);

        EXPECT_EQ(checkWebPostComponent(run), c.present);

        EXPECT_EQ(commandLines(os), c.started);
        EXPECT_EQ(os.system.pauses, c.pauses);
        EXPECT_EQ(os.tree.liveFileSystems, 1);  // only gFso is left
        EXPECT_EQ(os.exeLogMessages(), c.lines);
        EXPECT_EQ(os.child.starts, c.childStarts);
    }
}

}  // namespace
}  // namespace tavrel
