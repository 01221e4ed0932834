#include "settings/registry_settings.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "log/run_log.h"
#include "run/run_sequence.h"
#include "support/fake_platform.h"

namespace tavrel {
namespace {

using fake::Ending;
using fake::FakePlatform;
using Lines = std::vector<std::wstring>;

constexpr std::uint32_t kRegExpandSz = 2;
constexpr std::uint32_t kRegBinary = 3;
constexpr std::uint32_t kRegDword = 4;
constexpr std::uint32_t kRegMultiSz = 7;
const std::wstring kAgentKey = FakePlatform::kAgentKey;

// The lines of a normal agent's run up to and including the given message.
Lines normalLinesThrough(const std::wstring& last) {
    const Lines all = {L"MSG : Application Started.",
                       L"MSG : Member ID :--> M1001",
                       L"MSG : SITE ID :--> S2002",
                       L"MSG : Agent Type  :--> VAMR",
                       L"MSG : Getting Installation Path",
                       L"MSG : Installation Path [C:\\Program Files\\QUENDA Agent\\]",
                       L"MSG : Getting REGID from Registry.",
                       L"MSG : REGID  :--> 417"};
    Lines lines;
    for (const auto& line : all) {
        lines.push_back(line);
        if (line == last) {
            break;
        }
    }
    return lines;
}

Lines firstLines(Lines lines, std::size_t count) {
    if (lines.size() > count) {
        lines.resize(count);
    }
    return lines;
}

Lines operator+(Lines lines, const Lines& more) {
    lines.insert(lines.end(), more.begin(), more.end());
    return lines;
}

// One reader call against an open log and an open agent key.
class ReaderTest : public testing::Test {
  protected:
    ReaderTest() : run_(os_.view()) {
        run_.state.gFso = os_.fileSystems.createFileSystem();
        createRunLog(run_);
        key_ = std::move(
            os_.registry.openKey(RegistryRoot::LocalMachine, kAgentKey, 0, kKeyAllAccess).key);
    }

    FakePlatform os_;
    RunContext run_;
    RegistryKey key_;
};

TEST_F(ReaderTest, ValueShapesGiveTheTextBeforeTheFirstNulTrimmed) {
    struct Case {
        const char* what;
        std::uint32_t type;
        std::string bytes;
        std::wstring text;
        Lines lines;
    };
    const Lines invalidCall = {L"ERR  : 5 : Invalid procedure call or argument"};
    const Case cases[] = {
        {"plain text", kRegSz, std::string("abc\0", 4), L"abc", {}},
        {"blanks around", kRegSz, std::string("  a b  \0", 8), L"a b", {}},
        {"tabs stay", kRegSz, std::string("\ta\t\0", 4), L"\ta\t", {}},
        {"only the terminator", kRegSz, std::string("\0", 1), L"", {}},
        {"embedded NUL", kRegSz, std::string("ab\0cd\0", 6), L"ab", {}},
        {"no terminator", kRegSz, "abc", L"", invalidCall},
        {"zero length", kRegSz, "", L"", invalidCall},
        {"expandable", kRegExpandSz, std::string("abc\0", 4), L"", {}},
        {"multi-string", kRegMultiSz, std::string("a\0b\0\0", 5), L"", {}},
        {"number", kRegDword, std::string("\x01\0\0\0", 4), L"", {}},
        {"binary", kRegBinary, std::string("ab\0", 3), L"", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FakePlatform os;
        RunContext run(os.view());
        run.state.gFso = os.fileSystems.createFileSystem();
        createRunLog(run);
        os.registry.setValue(kAgentKey, L"MEMBERID", c.type, c.bytes);
        RegistryKey key = std::move(
            os.registry.openKey(RegistryRoot::LocalMachine, kAgentKey, 0, kKeyAllAccess).key);

        EXPECT_EQ(readRegistryValue(run, key, L"MEMBERID"), c.text);
        EXPECT_EQ(os.exeLogMessages(), c.lines);
    }
}

TEST_F(ReaderTest, HugeValueIsReadWhole) {
    const std::string text(1 << 20, 'x');
    os_.registry.setValue(kAgentKey, L"REGID", kRegSz, text + '\0');
    EXPECT_EQ(readRegistryValue(run_, key_, L"REGID"), std::wstring(text.begin(), text.end()));
}

TEST_F(ReaderTest, ValueThatGrowsBetweenTheQueriesGivesEmptyText) {
    os_.registry.rewrittenBeforeDataQuery[L"regid"] = std::string("a much longer id\0", 17);
    EXPECT_EQ(readRegistryValue(run_, key_, L"REGID"), L"");
    EXPECT_EQ(os_.exeLogMessages(), Lines{});
}

TEST_F(ReaderTest, BufferThatCannotBeHadIsAnErrorLine) {
    os_.registry.rewrittenBeforeDataQuery[L"regid"] = "";
    os_.registry.setValue(kAgentKey, L"REGID", kRegSz, std::string(65 << 20, 'x'));
    EXPECT_EQ(readRegistryValue(run_, key_, L"REGID"), L"");
    EXPECT_EQ(os_.exeLogMessages(), Lines{L"ERR  : 7 : Out of memory"});
}

TEST_F(ReaderTest, InstallationPathEndsInOneBackslash) {
    struct Case {
        const wchar_t* stored;
        const wchar_t* path;
    };
    const Case cases[] = {
        {L"C:\\Agent", L"C:\\Agent\\"},
        {L"C:\\Agent\\", L"C:\\Agent\\"},
        {L"  C:\\Agent\\ ", L"C:\\Agent\\"},
        {L"\tC:\\Agent", L"\tC:\\Agent\\"},
        {L"   ", L""},
        {L"", L""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.stored)));
        os_.registry.setString(kAgentKey, L"InstallationPath", c.stored);
        EXPECT_EQ(getInstallationPath(run_, key_), c.path);
    }
    EXPECT_EQ(os_.exeLogMessages(), Lines{});
}

TEST(AgentIdentity, ValuesAreTrimmedAndUpperCasedExceptTheRegistrationId) {
    FakePlatform os;
    os.registry.setString(kAgentKey, L"MEMBERID", L" m1001x ");
    os.registry.setString(kAgentKey, L"SITEID", L"s2002\u00e9i ");
    os.registry.setString(kAgentKey, L"TYPE", L"  vamr ");
    os.registry.setString(kAgentKey, L"REGID", L"  ab&<c1  ");
    RunContext run(os.view());

    fake::runMain(run);

    EXPECT_EQ(firstLines(os.runLogMessages(), 8),
              (Lines{L"MSG : Application Started.", L"MSG : Member ID :--> M1001X",
                     L"MSG : SITE ID :--> S2002\u00c9I", L"MSG : Agent Type  :--> VAMR",
                     L"MSG : Getting Installation Path",
                     L"MSG : Installation Path [C:\\Program Files\\QUENDA Agent\\]",
                     L"MSG : Getting REGID from Registry.", L"MSG : REGID  :--> ab&<c1"}));
    EXPECT_EQ(run.state.gMemberID, L"M1001X");
    EXPECT_EQ(run.state.gSiteID, L"S2002\u00c9I");
    EXPECT_EQ(run.state.gAgentType, L"VAMR");
    EXPECT_EQ(run.state.gInstallPath, L"C:\\Program Files\\QUENDA Agent\\");
    EXPECT_EQ(run.state.gRegID, L"ab&<c1");
    EXPECT_EQ(os.registry.openKeyCount(), 0u);
}

TEST(AgentIdentity, AbsentValueEndsTheRunInsideTheReader) {
    struct Case {
        const wchar_t* value;
        const wchar_t* lastLineBefore;
    };
    const Case cases[] = {
        {L"MEMBERID", L"MSG : Application Started."},
        {L"SITEID", L"MSG : Member ID :--> M1001"},
        {L"TYPE", L"MSG : SITE ID :--> S2002"},
        {L"InstallationPath", L"MSG : Getting Installation Path"},
        {L"REGID", L"MSG : Getting REGID from Registry."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.value)));
        FakePlatform os;
        os.registry.removeValue(kAgentKey, c.value);
        RunContext run(os.view());

        EXPECT_EQ(fake::runMain(run), Ending::AtOnce);
        const Lines expected = normalLinesThrough(c.lastLineBefore) +
                               Lines{L"ERR  : " + std::wstring(c.value) + L" is Missing in Registy",
                                     L"MSG : Application finished."};
        EXPECT_EQ(os.exeLogMessages(), expected);
    }
}

TEST(AgentIdentity, BlankOrWrongValuesEndTheRunWithTheirLines) {
    struct Case {
        const char* what;
        const wchar_t* value;
        std::uint32_t type;
        std::string bytes;
        Ending ending;
        Lines lines;
    };
    const Lines started = {L"MSG : Application Started."};
    const Case cases[] = {
        {"member id blank", L"MEMBERID", kRegSz, std::string("  \0", 3), Ending::AtOnce,
         started + Lines{L"MSG : Member ID :--> ", L"MSG : MemberID is missing.",
                         L"MSG : Application Completed."}},
        {"member id a number", L"MEMBERID", kRegDword, std::string("\x01\0\0\0", 4), Ending::AtOnce,
         started + Lines{L"MSG : Member ID :--> ", L"MSG : MemberID is missing.",
                         L"MSG : Application Completed."}},
        {"site id without terminator", L"SITEID", kRegSz, "S2002", Ending::AtOnce,
         normalLinesThrough(L"MSG : Member ID :--> M1001") +
             Lines{L"ERR  : 5 : Invalid procedure call or argument", L"MSG : SITE ID :--> ",
                   L"MSG : SITEID is missing.", L"MSG : Application Completed."}},
        {"another agent type", L"TYPE", kRegSz, std::string("vamx\0", 5), Ending::AtOnce,
         normalLinesThrough(L"MSG : SITE ID :--> S2002") +
             Lines{L"MSG : Agent Type  :--> VAMX", L"MSG : Application Completed."}},
        {"installation folder missing", L"InstallationPath", kRegSz, std::string("D:\\Gone\0", 8),
         Ending::AtOnce,
         normalLinesThrough(L"MSG : Getting Installation Path") +
             Lines{L"MSG : QUENTA Folder [D:\\Gone\\] is missing", L"MSG : Application Completed"}},
        // Never looked for: it would name a folder under the working folder.
        {"installation path relative", L"InstallationPath", kRegSz, std::string("Tavrel\0", 7),
         Ending::AtOnce,
         normalLinesThrough(L"MSG : Getting Installation Path") +
             Lines{L"MSG : QUENTA Folder [Tavrel\\] is missing", L"MSG : Application Completed"}},
        {"registration id blank", L"REGID", kRegSz, std::string(" \0", 2), Ending::AtOnce,
         normalLinesThrough(L"MSG : Getting REGID from Registry.") +
             Lines{L"MSG : REGID is missing.", L"MSG : Application Completed"}},
        {"registration id expandable", L"REGID", kRegExpandSz, std::string("417\0", 4),
         Ending::AtOnce,
         normalLinesThrough(L"MSG : Getting REGID from Registry.") +
             Lines{L"MSG : REGID is missing.", L"MSG : Application Completed"}},
        // Goes on past the identity, up to the web-post library it cannot look for.
        {"installation path blank goes on", L"InstallationPath", kRegSz, std::string("   \0", 4),
         Ending::AtOnce,
         normalLinesThrough(L"MSG : Getting Installation Path") +
             Lines{L"MSG : Installation Path []", L"MSG : Getting REGID from Registry.",
                   L"MSG : REGID  :--> 417"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FakePlatform os;
        os.registry.setValue(kAgentKey, c.value, c.type, c.bytes);
        RunContext run(os.view());

        EXPECT_EQ(fake::runMain(run), c.ending);
        // A run that goes on is followed past the identity by the other subsystems.
        EXPECT_EQ(firstLines(os.exeLogMessages(), c.lines.size()), c.lines);
    }
}

TEST(AgentIdentity, OnlyAbsoluteInstallationPathsNameAFolder) {
    const std::pair<const wchar_t*, bool> cases[] = {
        {L"C:\\Agent\\", true},
        {L"c:/Agent/", true},
        {L"C:\\", true},
        {L"\\\\server\\share\\", true},
        {L"\\\\server\\share\\Agent\\", true},
        {L"C:Agent\\", false},
        {L"\\Agent\\", false},
        {L".\\", false},
        {L"QUENDA\\", false},
        {L"..\\x\\", false},
        {L"\\\\?\\C:\\Agent\\", false},
        {L"\\\\.\\C:\\", false},
        {L"\\\\server\\", false},
        {L"\\\\\\share\\", false},
        {L"1:\\Agent\\", false},
    };
    for (const auto& [path, absolute] : cases) {
        EXPECT_EQ(isAbsoluteFolderPath(path), absolute)
            << testing::PrintToString(std::wstring(path));
    }
}

TEST(AgentIdentity, FolderTestThatFailsGoesToTheTrap) {
    FakePlatform os;
    os.ops.failEvery("FolderExists", Error(70, L"Permission denied"));
    RunContext run(os.view());

    fake::runMain(run);
    const Lines expected = normalLinesThrough(L"MSG : Getting Installation Path") +
                           Lines{L"ERR : Err using WMI Err Description : Permission denied"};
    EXPECT_EQ(firstLines(os.runLogMessages(), expected.size()), expected);
}

}  // namespace
}  // namespace tavrel
