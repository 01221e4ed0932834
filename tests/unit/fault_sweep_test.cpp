// Fails every operating-system call of a whole run in turn, once for that call alone
// and once for it and every later call of its kind, and checks after each run that it
// ended in a defined way, that its log and files are where they may be, that no report
// was lost without a line saying so, and that nothing was left open.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <iostream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "support/fake_platform.h"
#include "support/log_lines.h"

namespace tavrel {
namespace {

using fake::Ending;
using fake::FakePlatform;
using Lines = std::vector<std::wstring>;

const std::wstring kInstall = FakePlatform::kInstallPath;
const std::wstring kSpoolFolder = kInstall + L"TreskPostLogs";

// Lines a run may write instead of those of a run without faults.
const std::set<std::wstring> kOtherLines = {L"MSG : Application Completed",
                                            L"MSG : Application Completed.",
                                            L"MSG : Application finished.",
                                            L"MSG : Registry is missing",
                                            L"MSG : MemberID is missing.",
                                            L"MSG : SITEID is missing.",
                                            L"MSG : REGID is missing.",
                                            L"MSG : Mavlin.dll is missing.",
                                            L"MSG : TreskPostLogs folder does not exists.",
                                            L"MSG : QUENDA\\ApplicationLog Folder does not exist",
                                            L"MSG : Creating QUENDA\\Applicationlog Folder"};
// Lines whose figures or values a fault may change, by their fixed beginning.
const wchar_t* const kVariableLines[] = {L"ERR",
                                         L"MSG : QUENTA Folder [",
                                         L"MSG : Member ID :--> ",
                                         L"MSG : SITE ID :--> ",
                                         L"MSG : Agent Type  :--> ",
                                         L"MSG : Installation Path [",
                                         L"MSG : System UP Time : ",
                                         L"MSG : Sending Webpost :-->",
                                         L"MSG :writing ",
                                         L"MSG : successfully moved "};
// The last line of every run whose log is whole.
const std::set<std::wstring> kClosingLines = {L"MSG : Application Completed",
                                              L"MSG : Application Completed.",
                                              L"MSG : Application finished."};
// Lines that end a run before it reaches the report, or say why none was sent.
const std::set<std::wstring> kNoReportLines = {
    L"MSG : Application Completed.", L"MSG : Application finished.", L"MSG : Registry is missing",
    L"MSG : REGID is missing.", L"MSG : Mavlin.dll is missing."};
// A failure of these loses log lines, which a line cannot then report.
const std::set<std::string> kLogWrites = {"WriteLine", "Now", "TimeSeparator"};
const std::set<std::string> kFileOperations = {"FileExists",     "FolderExists", "CreateFolder",
                                               "CreateTextFile", "DeleteFile",   "MoveFile",
                                               "WriteLine",      "Close"};

struct Scenario {
    const char* name;
    bool delivers;
};

void arrange(FakePlatform& os, const Scenario& scenario) {
    // No ApplicationLog folder yet, so the finish takes its fuller branch.
    os.automation.addClass(L"Mavlin.WebPost").resultWhenUnscripted = scenario.delivers;
}

struct Fault {
    std::string operation;
    int nth;
    bool persistent;
    Error error;
};

bool startsWith(const std::wstring& text, const std::wstring& prefix) {
    return text.rfind(prefix, 0) == 0;
}

class Sweep {
  public:
    explicit Sweep(Scenario scenario) : scenario_(scenario) {
        FakePlatform os;
        arrange(os, scenario_);
        {
            RunContext run(os.view());
            fake::runMain(run);
        }
        baseline_ = os.runLogMessages();
        calls_ = os.ops.calls();
    }

    std::size_t operationCount() const { return calls_.size(); }

    // Every call of the fault-free run, failing transiently and persistently, with a
    // generic error and, for file operations, the kinds a file system gives.
    std::vector<Fault> faults() const {
        std::vector<Fault> faults;
        std::map<std::string, int> seen;
        for (const auto& call : calls_) {
            const int nth = ++seen[call.operation];
            std::vector<Error> errors = {Error(-2147467259, L"Unspecified error")};
            if (kFileOperations.count(call.operation) != 0) {
                errors.push_back(Error(errnum::kPermissionDenied, L"Permission denied"));
                errors.push_back(Error(errnum::kFileNotFound, L"File not found"));
                errors.push_back(Error(errnum::kFileAlreadyExists, L"File already exists"));
            }
            for (const auto& error : errors) {
                faults.push_back(Fault{call.operation, nth, false, error});
                faults.push_back(Fault{call.operation, nth, true, error});
            }
        }
        return faults;
    }

    std::set<std::string> check(const Fault& fault) const {
        std::set<std::string> problems;
        FakePlatform os;
        arrange(os, scenario_);
        os.ops.failCall(fault.operation, fault.nth, fault.error, fault.persistent);
        {
            RunContext run(os.view());
            try {
                fake::runMain(run);
            } catch (const Error&) {
                problems.insert("an error escaped Main");
            } catch (...) {
                problems.insert("something escaped Main");
            }
            checkExitStatus(os, fake::exitStatusOf(run, os.host), problems);
        }
        checkFiles(os, fault, problems);
        // A key whose close the system refused stays with the process until it ends.
        checkLeaks(os, fault.operation != "RegCloseKey", problems);
        return problems;
    }

  private:
    // 0 exactly when a try answered true, 2 exactly when TreskPostLogs holds the report.
    static void checkExitStatus(FakePlatform& os, ExitStatus status,
                                std::set<std::string>& problems) {
        const bool answeredTrue = os.automation.addClass(L"Mavlin.WebPost").trueAnswers > 0;
        if ((status == ExitStatus::Delivered) != answeredTrue) {
            problems.insert("status 0 without a true answer, or a true answer without it");
        }
        const auto spoolKey = fake::FileTree::keyOf(kSpoolFolder) + L"\\";
        const auto paths = os.tree.filePaths();
        const bool spooled = std::any_of(paths.begin(), paths.end(), [&](const auto& path) {
            return startsWith(fake::FileTree::keyOf(path), spoolKey);
        });
        if ((status == ExitStatus::Spooled) != spooled) {
            problems.insert("status 2 without a spooled report, or a spooled report without it");
        }
    }

    bool logNeverCreated(const FakePlatform& os) const {
        for (const auto& call : os.ops.calls()) {
            if (call.operation == "CreateTextFile" && call.detail == os.exeLogPath()) {
                return false;
            }
        }
        return true;
    }

    void checkFiles(const FakePlatform& os, const Fault& fault,
                    std::set<std::string>& problems) const {
        const bool nextToExe = os.tree.hasFile(os.exeLogPath());
        const bool archived = os.tree.hasFile(FakePlatform::archivedLogPath());
        const bool linesMayBeLost = kLogWrites.count(fault.operation) != 0;
        const bool createFailed =
            fault.operation == "CreateTextFile" && fault.nth == 1;  // the log's own creation
        if (nextToExe && archived) {
            problems.insert("run log in both places");
        }
        if (!nextToExe && !archived) {
            // A log that could not be made leaves no trace: the trap runs with no log.
            if (!createFailed && !logNeverCreated(os)) {
                problems.insert("run log gone");
            }
            return;
        }
        const Lines log = os.runLogMessages();
        checkLines(log, linesMayBeLost, problems);
        if (!linesMayBeLost) {
            checkReportAccountedFor(os, log, problems);
        }
    }

    void checkLines(const Lines& log, bool linesMayBeLost, std::set<std::string>& problems) const {
        std::size_t next = 0;
        for (const auto& line : log) {
            const auto found =
                std::find(baseline_.begin() + static_cast<long>(next), baseline_.end(), line);
            if (found != baseline_.end()) {
                next = static_cast<std::size_t>(found - baseline_.begin()) + 1;
                continue;
            }
            const bool variant =
                std::any_of(std::begin(kVariableLines), std::end(kVariableLines),
                            [&](const wchar_t* prefix) { return startsWith(line, prefix); });
            if (!variant && kOtherLines.count(line) == 0 &&
                std::find(baseline_.begin(), baseline_.end(), line) == baseline_.end()) {
                problems.insert("unexpected line");
            }
        }
        if (!linesMayBeLost && (log.empty() || kClosingLines.count(log.back()) == 0)) {
            problems.insert("no closing line");
        }
    }

    void checkReportAccountedFor(const FakePlatform& os, const Lines& log,
                                 std::set<std::string>& problems) const {
        const bool delivered = std::any_of(log.begin(), log.end(), [](const auto& line) {
            return startsWith(line, L"MSG : Webpost Return String :--> ");
        });
        bool spooledWhole = false;
        bool spoolLeftBehind = false;
        for (const auto& path : os.tree.filePaths()) {
            const auto key = fake::FileTree::keyOf(path);
            if (key.find(L"wpsysuptimedata_n_") == std::wstring::npos) {
                continue;
            }
            if (startsWith(key, fake::FileTree::keyOf(kSpoolFolder) + L"\\")) {
                const auto content = os.tree.content(path).value_or(L"");
                spooledWhole = startsWith(content, L"<wpsysuptimedata>") &&
                               content.find(L"\r\n") == content.size() - 2;
                if (!spooledWhole) {
                    problems.insert("incomplete spool file in TreskPostLogs");
                }
            } else {
                spoolLeftBehind = true;
            }
        }
        const bool saysWhy = std::any_of(log.begin(), log.end(), [](const auto& line) {
            return startsWith(line, L"ERR") || kNoReportLines.count(line) != 0 ||
                   startsWith(line, L"MSG : QUENTA Folder [");
        });
        if (!delivered && !spooledWhole && !spoolLeftBehind && !saysWhy) {
            problems.insert("report lost without a line");
        }
    }

    static void checkLeaks(const FakePlatform& os, bool keysClosable,
                           std::set<std::string>& problems) {
        if (keysClosable && os.registry.openKeyCount() != 0) {
            problems.insert("registry key left open");
        }
        if (os.tree.liveStreams != 0 || os.tree.liveFileSystems != 0) {
            problems.insert("stream or file-system object left open");
        }
        if (os.wmi.liveSessions != 0 || os.automation.liveObjects != 0) {
            problems.insert("COM object left alive");
        }
    }

    Scenario scenario_;
    Lines baseline_;
    std::vector<fake::Operations::Call> calls_;
};

class FaultSweep : public testing::TestWithParam<Scenario> {};

TEST_P(FaultSweep, EveryFaultEndsTheRunInOrder) {
    const Sweep sweep(GetParam());
    const auto faults = sweep.faults();
    std::size_t held = 0;
    for (const auto& fault : faults) {
        const auto problems = sweep.check(fault);
        if (problems.empty()) {
            ++held;
            continue;
        }
        for (const auto& problem : problems) {
            ADD_FAILURE() << fault.operation << " call " << fault.nth
                          << (fault.persistent ? " and later" : "") << " failing with "
                          << fault.error.number() << ": " << problem;
        }
    }
    std::cout << GetParam().name << ": " << sweep.operationCount() << " operations swept, " << held
              << " of " << faults.size() << " faults held\n";
}

INSTANTIATE_TEST_SUITE_P(Runs, FaultSweep,
                         testing::Values(Scenario{"delivered", true},
                                         Scenario{"spooled after five tries", false}),
                         [](const auto& info) {
                             return info.param.delivers ? "Delivered" : "Spooled";
                         });

}  // namespace
}  // namespace tavrel
