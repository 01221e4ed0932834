#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <set>
#include <string>
#include <vector>

#include "log/run_log.h"
#include "prereq/scripting_runtime.h"
#include "prereq/web_post_component.h"
#include "prereq/who_else_may_change.h"
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
        WebPostLibrary result;
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
        {"present", present, WebPostLibrary::Ready, quoted, {1000}, started, 1},
        {"missing",
         [](FakePlatform& os, RunContext&) { removeLibrary(os); },
         WebPostLibrary::Missing,
         {},
         {},
         missing},
        // A bare name would be found in the working folder: never registered.
        {"no installation path",
         [](FakePlatform& os, RunContext& run) {
             run.state.gInstallPath.clear();
             os.tree.addFile(L"Mavlin.dll", L"");
         },
         WebPostLibrary::Missing,
         {},
         {},
         missing},
        {"tool cannot be started",
         [](FakePlatform& os, RunContext&) {
             addLibrary(os);
             os.ops.failEvery("StartProgram", Error(2, L"not found"));
         },
         WebPostLibrary::Ready,
         {},
         {},
         started,
         1},
        {"existence test fails",
         [](FakePlatform& os, RunContext&) {
             addLibrary(os);
             os.ops.failEvery("FileExists", Error(70, L"Permission denied"));
         },
         WebPostLibrary::Ready,
         {},
         {},
         started},
        {"own file-system object cannot be created",
         [](FakePlatform& os, RunContext&) {
             addLibrary(os);
             os.ops.failEvery("CreateFileSystem", Error(429, L"cannot create"));
         },
         WebPostLibrary::Ready,
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

        EXPECT_EQ(checkWebPostComponent(run), c.result);

        EXPECT_EQ(commandLines(os), c.started);
        EXPECT_EQ(os.system.pauses, c.pauses);
        EXPECT_EQ(os.tree.liveFileSystems, 1);  // only gFso is left
        EXPECT_EQ(os.exeLogMessages(), c.lines);
        EXPECT_EQ(os.child.starts, c.childStarts);
    }
}

// Who else may change an installation folder, asked of the fake's owners and DACLs: the
// folder itself, then each folder above it up to the root.
namespace rights {

constexpr const wchar_t* kAgent = L"C:\\Agent";
constexpr const wchar_t* kQuenda = L"C:\\Agent\\QUENDA";
constexpr const wchar_t* kAuthenticatedUsers = L"S-1-5-11";
constexpr std::uint32_t kFullControl = 0x1F01FF;

ObjectSecurity ownedBy(const wchar_t* owner, std::vector<AccessEntry> more = {}) {
    ObjectSecurity security = fake::FileTree().protectedSecurity;
    security.ownerSid = owner;
    security.entries.insert(security.entries.end(), more.begin(), more.end());
    return security;
}

// C:\ as Windows sets it up: signed-in users may add folders to it, and get "Modify" on
// whatever is made below, through entries that apply to the children only.
ObjectSecurity driveRootDefault() {
    return ownedBy(L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464",
                   {{true, true, 0x10000000, L"S-1-3-0"},
                    {true, true, 0xE0010000, kAuthenticatedUsers},
                    {true, false, 0x4, kAuthenticatedUsers}});
}

// What a folder made below C:\ inherits from it.
ObjectSecurity inheritedFromDriveRoot() {
    return ownedBy(L"S-1-5-32-544", {{true, false, 0x1301BF, kAuthenticatedUsers},
                                     {true, true, 0xE0010000, kAuthenticatedUsers}});
}

// A link at `link`, made by the system, to `target`, which holds a folder QUENDA.
void linkTo(FakePlatform& os, const std::wstring& link, const std::wstring& target) {
    os.tree.links[fake::FileTree::keyOf(link)] = target;
    os.tree.addFolder(target + L"\\QUENDA");
}

// C:\L1 leads to C:\R, and each of R's L2, L3 ... back to R itself.
constexpr const wchar_t* kEightLinks = L"C:\\L1\\L2\\L3\\L4\\L5\\L6\\L7\\L8";
constexpr const wchar_t* kNineLinks = L"C:\\L1\\L2\\L3\\L4\\L5\\L6\\L7\\L8\\L9";
void linkInARow(FakePlatform& os, int count) {
    os.tree.addFolder(L"C:\\R");
    os.tree.links[L"c:\\l1"] = L"C:\\R";
    for (int i = 2; i <= count; ++i) {
        os.tree.links[L"c:\\r\\l" + std::to_wstring(i)] = L"C:\\R";
    }
}

}  // namespace rights

TEST(WhoElseMayChange, OwnersDaclsAndEntriesOfTheFolderAndThoseAbove) {
    using namespace rights;
    struct Case {
        const char* what;
        std::wstring folder;
        void (*arrange)(FakePlatform&);
        std::wstring why;  // empty: no one else may
    };
    const Case cases[] = {
        {"system, administrators and this account only", kQuenda, [](FakePlatform&) {}, L""},
        {"owned by TrustedInstaller or the administrators", kQuenda,
         [](FakePlatform& os) {
             os.tree.security[L"c:\\agent\\quenda"] = ownedBy(L"S-1-5-32-544");
             os.tree.security[L"c:\\agent"] =
                 ownedBy(L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464");
         },
         L""},
        {"owned by another account", kQuenda,
         [](FakePlatform& os) { os.tree.security[L"c:\\agent\\quenda"] = ownedBy(L"S-1-5-7"); },
         L"C:\\Agent\\QUENDA may be changed by S-1-5-7 (owner)"},
        {"owner of a folder above", kQuenda,
         [](FakePlatform& os) { os.tree.security[L"c:\\agent"] = ownedBy(fake::FileTree::kUsers); },
         L"C:\\Agent may be changed by BUILTIN\\Users (owner)"},
        {"null DACL", kQuenda,
         [](FakePlatform& os) {
             os.tree.security[L"c:\\agent\\quenda"] = ownedBy(L"S-1-5-18");
             os.tree.security[L"c:\\agent\\quenda"].hasDacl = false;
         },
         L"C:\\Agent\\QUENDA may be changed by Everyone (no DACL)"},
        {"no owner at all", kQuenda,
         [](FakePlatform& os) { os.tree.security[L"c:\\agent\\quenda"] = ownedBy(L""); },
         L"C:\\Agent\\QUENDA may be changed by anyone (it has no owner)"},
        {"the running account cannot be read", kQuenda,
         [](FakePlatform& os) {
             os.ops.failEvery("RunningAccount", Error(5, L"Access is denied."));
         },
         L"C:\\Agent\\QUENDA cannot be judged: the running account cannot be read (Access is "
         L"denied.)"},
        {"inherit-only entry grants nothing on the folder", kQuenda,
         [](FakePlatform& os) {
             os.tree.security[L"c:\\agent\\quenda"] =
                 ownedBy(fake::FileTree::kRunningAccount,
                         {{true, true, kFullControl, fake::FileTree::kUsers}});
         },
         L""},
        {"OWNER RIGHTS counts as the owner's", kQuenda,
         [](FakePlatform& os) {
             os.tree.security[L"c:\\agent\\quenda"] =
                 ownedBy(L"S-1-5-18", {{true, false, kFullControl, L"S-1-3-4"}});
         },
         L""},
        {"a deny entry before the allow does not make it safe", kQuenda,
         [](FakePlatform& os) {
             os.tree.security[L"c:\\agent\\quenda"] =
                 ownedBy(L"S-1-5-18", {{false, false, kFullControl, fake::FileTree::kUsers},
                                       {true, false, 0x10, fake::FileTree::kUsers}});
         },
         L"C:\\Agent\\QUENDA may be changed by BUILTIN\\Users (FILE_WRITE_EA)"},
        {"descriptor that cannot be read", kQuenda,
         [](FakePlatform& os) {
             os.ops.failCall("ReadSecurity", 2, Error(70, L"Access is denied."));
         },
         L"C:\\Agent may be changed by anyone (its owner and DACL cannot be read: Access is "
         L"denied.)"},
        {"C:\\'s default DACL above a protected folder", kAgent,
         [](FakePlatform& os) { os.tree.security[L"c:"] = driveRootDefault(); }, L""},
        {"a folder that inherits C:\\'s DACL", kQuenda,
         [](FakePlatform& os) {
             os.tree.security[L"c:"] = driveRootDefault();
             os.tree.security[L"c:\\agent"] = inheritedFromDriveRoot();
         },
         L"C:\\Agent may be changed by NT AUTHORITY\\Authenticated Users (DELETE)"},
        {"a share is judged up to its root", L"\\\\server\\share\\Agent",
         [](FakePlatform& os) {
             os.tree.addFolder(L"\\\\server\\share\\Agent");
             os.tree.openToOthers(L"\\\\server\\share\\", 0x40000);
         },
         L"\\\\server\\share\\ may be changed by BUILTIN\\Users (WRITE_DAC)"},
        {"an entry of a type the check cannot read", kQuenda,
         [](FakePlatform& os) {
             os.tree.security[L"c:\\agent\\quenda"] =
                 ownedBy(L"S-1-5-18", {{false, false, 0x1F01FF, L"", 0x11}});
         },
         L"C:\\Agent\\QUENDA may be changed by anyone (its DACL holds an entry of unknown type "
         L"0x11)"},
        // Links: each judged as it stands, its owner too, then where it leads, as if given.
        // Wine shows a link's target's owner for the link's own, so only this shows that.
        {"a junction another account made, to a trusted folder", kQuenda,
         [](FakePlatform& os) {
             linkTo(os, L"C:\\Agent", L"C:\\Trusted");
             os.tree.security[L"c:\\agent"] = ownedBy(fake::FileTree::kUsers);
         },
         L"C:\\Agent (a link to C:\\Trusted) may be changed by BUILTIN\\Users (owner)"},
        {"a trusted link into a folder others may change", kQuenda,
         [](FakePlatform& os) {
             linkTo(os, L"C:\\Agent", L"C:\\Open");
             os.tree.openToOthers(L"C:\\Open", 0x40);
         },
         L"C:\\Agent\\QUENDA leads to C:\\Open\\QUENDA, and C:\\Open may be changed by "
         L"BUILTIN\\Users (FILE_DELETE_CHILD)"},
        {"a trusted link to a trusted folder", kQuenda,
         [](FakePlatform& os) { linkTo(os, L"C:\\Agent", L"C:\\Trusted"); }, L""},
        {"a reparse point that leads nowhere else (no name surrogate)", kQuenda,
         [](FakePlatform& os) {
             os.tree.security[L"c:\\agent\\quenda"] = ownedBy(L"S-1-5-18");
             os.tree.security[L"c:\\agent\\quenda"].isLink = true;
         },
         L""},
        {"a link loop", kQuenda, [](FakePlatform& os) { linkTo(os, L"C:\\Agent", L"C:\\Agent"); },
         L"C:\\Agent\\QUENDA may be changed by anyone (its owner and DACL cannot be read: The "
         L"name of the file cannot be resolved by the system.)"},
        {"eight links in a row", kEightLinks, [](FakePlatform& os) { linkInARow(os, 8); }, L""},
        {"nine links in a row", kNineLinks, [](FakePlatform& os) { linkInARow(os, 9); },
         std::wstring(kNineLinks) +
             L" may be changed by anyone (it leads through more than 8 links)"},
        // A linked file: its target judged as the library is, the target's folder with
        // every right counted, as Windows looks there first for what the library loads.
        {"a library linked into a folder others may write to", L"C:\\Agent\\Mavlin.dll",
         [](FakePlatform& os) {
             linkTo(os, L"C:\\Agent\\Mavlin.dll", L"C:\\Open\\Mavlin.dll");
             os.tree.addFile(L"C:\\Open\\Mavlin.dll", L"");
             os.tree.openToOthers(L"C:\\Open", 0x2);
         },
         L"C:\\Agent\\Mavlin.dll leads to C:\\Open\\Mavlin.dll, and C:\\Open may be changed by "
         L"BUILTIN\\Users (FILE_WRITE_DATA)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FakePlatform os;
        const bool library = c.folder.ends_with(L".dll");
        os.tree.addFolder(library ? L"C:\\Agent" : c.folder);
        os.tree.accountNames[kAuthenticatedUsers] = L"NT AUTHORITY\\Authenticated Users";
        c.arrange(os);
        auto fso = os.fileSystems.createFileSystem();

        const std::wstring why = library ? whoElseMayChange(*fso, c.folder, ObjectPlace::UsedItself)
                                         : whoElseMayChangeFolder(*fso, c.folder);

        EXPECT_EQ(why, c.why);
    }
}

// Each right on the folder used, and on the folders above it, where only what lets
// someone replace the folder below counts, DELETE not on the root.
TEST(WhoElseMayChange, EachRightCountsWhereItCanReplaceWhatIsUsed) {
    using namespace rights;
    struct Case {
        const wchar_t* right;
        std::uint32_t mask;
        bool countsAbove;
        bool countsOnRoot;
    };
    const Case cases[] = {
        {L"GENERIC_ALL", 0x10000000, true, true},
        {L"GENERIC_WRITE", 0x40000000, false, false},
        {L"WRITE_DAC", 0x40000, true, true},
        {L"WRITE_OWNER", 0x80000, true, true},
        {L"DELETE", 0x10000, true, false},
        {L"FILE_WRITE_DATA", 0x2, false, false},
        {L"FILE_APPEND_DATA", 0x4, false, false},
        {L"FILE_WRITE_EA", 0x10, false, false},
        {L"FILE_WRITE_ATTRIBUTES", 0x100, false, false},
        {L"FILE_DELETE_CHILD", 0x40, true, true},
    };
    for (const auto& c : cases) {
        for (const std::wstring& where :
             {std::wstring(kQuenda), std::wstring(kAgent), std::wstring(L"C:\\")}) {
            SCOPED_TRACE(std::wstring(c.right) + L" on " + where);
            FakePlatform os;
            os.tree.addFolder(kQuenda);
            os.tree.openToOthers(where, c.mask);
            auto fso = os.fileSystems.createFileSystem();

            const bool counts =
                where == kQuenda || (where == kAgent ? c.countsAbove : c.countsOnRoot);
            EXPECT_EQ(
                whoElseMayChangeFolder(*fso, kQuenda),
                counts ? where + L" may be changed by BUILTIN\\Users (" + c.right + L")" : L"");
        }
    }
}

}  // namespace
}  // namespace tavrel
