#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "log/run_log.h"
#include "report/report_text.h"
#include "report/web_post.h"
#include "support/fake_platform.h"

namespace tavrel {
namespace {

using fake::FakePlatform;
using fake::PostAnswer;
using Lines = std::vector<std::wstring>;

const std::wstring kInstall = FakePlatform::kInstallPath;
const std::wstring kInprocServer =
    std::wstring(fake::FakeRegistry::kClassesRoot) + L"CLSID\\{C1A55}\\InprocServer32";
const std::wstring kReport =
    L"<wpsysuptimedata><regid>417</regid><uptime>900</uptime><mndtime>3/7/2026 14:5:9"
    L"</mndtime></wpsysuptimedata>";

std::wstring defaultQuery() {
    return L"https://" + std::wstring(defaultWebPostHost()) +
           L"/tfr_wpsysuptimedata.asp?mmid=M1001&sid=S2002&rid=417&rty=VAMR";
}

TEST(ReportText, TimestampsAndNamesAreExact) {
    EXPECT_EQ(reportTimestamp(12, 7, 2026, 14, 5, 9), L"12/7/2026 14:5:9");
    EXPECT_EQ(reportTimestamp(3, 1, 2026, 9, 5, 3), L"3/1/2026 9:5:3");
    EXPECT_EQ(reportTimestamp(1, 1, 2027, 0, 0, 0), L"1/1/2027 0:0:0");
    EXPECT_EQ(spoolFileName(L"417", {2026, 12, 7, 14, 5, 9}),
              L"wpsysuptimedata_N_417_12072026140509.xml");
    EXPECT_EQ(spoolFileName(L"417", {2026, 3, 1, 9, 5, 3}),
              L"wpsysuptimedata_N_417_03012026090503.xml");
}

TEST(ReportText, SpoolFileNameKeepsAnyRegistrationIdInOneName) {
    const std::pair<std::wstring, std::wstring> cases[] = {
        {L"Reg-417 a_b.c", L"Reg-417 a_b.c"},
        {L"..\\x", L"..%5Cx"},
        {L"a/b", L"a%2Fb"},
        {L"50%", L"50%25"},
        {L"..\\..\\windows\\x", L"..%5C..%5Cwindows%5Cx"},
        {L"c:*?\"<>|", L"c%3A%2A%3F%22%3C%3E%7C"},
        {L"tab\tend\r\n", L"tab%09end%0D%0A"},
        {std::wstring(L"\x01\x1f\x7f\u00e9", 4), L"%01%1F\x7f\u00e9"},
    };
    for (const auto& [regId, encoded] : cases) {
        EXPECT_EQ(spoolFileName(regId, {2026, 12, 7, 14, 5, 9}),
                  L"wpsysuptimedata_N_" + encoded + L"_12072026140509.xml");
    }
    EXPECT_EQ(buildUptimeReport(L"a&<b", L"900", L"12/7/2026 14:5:9"),
              L"<wpsysuptimedata><regid>a&<b</regid><uptime>900</uptime><mndtime>12/7/2026 "
              L"14:5:9</mndtime></wpsysuptimedata>");
    EXPECT_EQ(buildQueryString(L"https://h/", L"M", L"S", L"r&1", L"VAMR"),
              L"https://h/tfr_wpsysuptimedata.asp?mmid=M&sid=S&rid=r&1&rty=VAMR");
}

TEST(ReportText, EndpointBaseEndsInOneSlash) {
    struct Case {
        const wchar_t* configured;
        std::wstring base;
    };
    const Case cases[] = {
        {L"", L"https://default.invalid/"},
        {L"https://agent.example/post", L"https://agent.example/post/"},
        {L"https://agent.example/post/", L"https://agent.example/post/"},
        {L"https://agent.example/post\\", L"https://agent.example/post\\/"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(endpointBaseUrl(c.configured, L"default.invalid"), c.base);
    }
}

// A run that has come as far as the report: log open, identity read, 900 s measured.
void prepareRun(FakePlatform& os, RunContext& run) {
    RunState& state = run.state;
    state.gFso = os.fileSystems.createFileSystem();
    createRunLog(run);
    state.gMemberID = L"M1001";
    state.gSiteID = L"S2002";
    state.gAgentType = L"VAMR";
    state.gRegID = L"417";
    state.gInstallPath = kInstall;
    state.gUpTime = UpTime::fromText(L"900");
    os.automation.addClass(L"Mavlin.WebPost").resultWhenUnscripted = false;
}

class WebPostTest : public testing::Test {
  protected:
    WebPostTest() : run_(os_.view()) {
        prepareRun(os_, run_);
        webPost_ = &os_.automation.addClass(L"Mavlin.WebPost");
    }

    static Lines tryLines(int attempt, bool delivered, const std::wstring& reply = L"") {
        return {L"MSG : Query String :--> " + defaultQuery(),
                L"MSG : Webpost Try " + std::to_wstring(attempt),
                (delivered ? L"MSG : Webpost Return String :--> "
                           : L"ERR  : Webpost Return String :--> ") +
                    reply};
    }

    static Lines preamble() {
        return {L"MSG : Getting URL for wpsysuptimedata", L"MSG : Norvick.ini not found.",
                L"MSG : Sending Webpost :-->" + kReport};
    }

    static Lines spoolLines(bool folderMissing) {
        const std::wstring name = L"wpsysuptimedata_N_417_03072026140509.xml";
        Lines lines = {L"MSG : Webpost failed for 5 times. Tkt.",
                       L"MSG : Creating file in TreskPostLogs Folder.",
                       L"MSG :writing " + kReport + L" to " + name};
        if (folderMissing) {
            lines.push_back(L"MSG : TreskPostLogs folder does not exists.");
        }
        lines.push_back(L"MSG : successfully moved " + kInstall + name + L" to " + kInstall +
                        L"TreskPostLogs\\" + name);
        return lines;
    }

    FakePlatform os_;
    RunContext run_;
    fake::ScriptedObject* webPost_ = nullptr;
};

Lines operator+(Lines lines, const Lines& more) {
    lines.insert(lines.end(), more.begin(), more.end());
    return lines;
}

TEST_F(WebPostTest, TriesUntilDeliveredAndLogsTheTrimmedReplies) {
    struct Case {
        const char* what;
        std::vector<PostAnswer> answers;
        Lines tries;
    };
    const Case cases[] = {
        {"first try",
         {{true, L"  OK 200  ", std::nullopt, std::nullopt, std::nullopt}},
         tryLines(1, true, L"OK 200")},
        {"false twice, then true",
         {{false, std::nullopt, L" busy ", std::nullopt, std::nullopt},
          {false, std::nullopt, std::nullopt, std::nullopt, std::nullopt},
          {true, std::nullopt, std::nullopt, std::nullopt, std::nullopt}},
         // The second try hands in, and logs, the reply the first one left.
         tryLines(1, false, L"busy") + tryLines(2, false, L"busy") + tryLines(3, true)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FakePlatform os;
        RunContext run(os.view());
        prepareRun(os, run);
        auto& script = os.automation.addClass(L"Mavlin.WebPost");
        script.answers.assign(c.answers.begin(), c.answers.end());

        sendWebPost(run);

        EXPECT_EQ(os.exeLogMessages(), preamble() + c.tries);
        EXPECT_FALSE(os.tree.hasFolder(kInstall + L"TreskPostLogs"));
        EXPECT_EQ(os.automation.liveObjects, 0);
        EXPECT_EQ(os.child.starts, 1) << "one child for every try";
    }
}

TEST_F(WebPostTest, EachCallGetsTheNineArgumentsWithRepliesCarriedOver) {
    webPost_->answers = {{false, L"r1", L"r3", std::nullopt, std::nullopt},
                         {true, std::nullopt, std::nullopt, std::nullopt, std::nullopt}};
    sendWebPost(run_);

    ASSERT_EQ(webPost_->calls.size(), 2u);
    const PostXmlArguments& first = webPost_->calls[0];
    EXPECT_EQ(first.report, kReport);
    EXPECT_FALSE(first.flag);
    EXPECT_EQ(first.queryString, defaultQuery());
    EXPECT_EQ(first.fourth, L"");
    EXPECT_EQ(first.fifth, L"");
    EXPECT_EQ(first.reply1, L"");
    const PostXmlArguments& second = webPost_->calls[1];
    EXPECT_EQ(second.reply1, L"r1");
    EXPECT_EQ(second.reply3, L"r3");
}

TEST_F(WebPostTest, FiveFailuresSpoolTheReportIntoTreskPostLogs) {
    struct Case {
        bool folderPresent;
        bool staleFile;
    };
    for (const Case c : {Case{false, false}, Case{true, false}, Case{true, true}}) {
        SCOPED_TRACE(testing::Message() << c.folderPresent << c.staleFile);
        FakePlatform os;
        RunContext run(os.view());
        prepareRun(os, run);
        const std::wstring name = L"wpsysuptimedata_N_417_03072026140509.xml";
        if (c.folderPresent) {
            os.tree.addFolder(kInstall + L"TreskPostLogs");
        }
        if (c.staleFile) {
            os.tree.addFile(kInstall + name, L"stale\r\n");
        }

        sendWebPost(run);

        Lines tries;
        for (int attempt = 1; attempt <= 5; ++attempt) {
            tries = tries + tryLines(attempt, false);
        }
        EXPECT_EQ(os.exeLogMessages(), preamble() + tries + spoolLines(!c.folderPresent));
        EXPECT_EQ(os.tree.content(kInstall + L"TreskPostLogs\\" + name), kReport + L"\r\n");
        EXPECT_FALSE(os.tree.hasFile(kInstall + name));
        EXPECT_EQ(os.tree.liveStreams, 1);  // the run log only
    }
}

TEST_F(WebPostTest, ReportRewrittenByTheLibraryIsSpooledAsItStands) {
    webPost_->answers = {{false, std::nullopt, std::nullopt, L"<changed/>", std::nullopt}};
    sendWebPost(run_);
    EXPECT_EQ(
        os_.tree.content(kInstall + L"TreskPostLogs\\wpsysuptimedata_N_417_03072026140509.xml"),
        std::optional<std::wstring>(L"<changed/>\r\n"));
}

TEST_F(WebPostTest, SpoolNameTakenInTheSameSecondLeavesTheFileInTheInstallationFolder) {
    const std::wstring name = L"wpsysuptimedata_N_417_03072026140509.xml";
    os_.tree.addFolder(kInstall + L"TreskPostLogs");
    os_.tree.addFile(kInstall + L"TreskPostLogs\\" + name, L"earlier\r\n");

    sendWebPost(run_);

    EXPECT_EQ(os_.tree.content(kInstall + name), kReport + L"\r\n");
    EXPECT_EQ(os_.tree.content(kInstall + L"TreskPostLogs\\" + name), L"earlier\r\n");
    EXPECT_EQ(os_.exeLogMessages().back(), L"ERR : in sendWebPost function() File already exists");
}

TEST_F(WebPostTest, AnErrorStopsThePostWithOneLineAndNothingSpooled) {
    struct Case {
        const char* what;
        void (*arrange)(FakePlatform&, fake::ScriptedObject&);
        Lines lines;
    };
    const Case cases[] = {
        {"object not creatable",
         [](FakePlatform& os, fake::ScriptedObject&) {
             os.automation.removeClass(L"Mavlin.WebPost");
         },
         {L"ERR : in sendWebPost function() ActiveX component can't create object"}},
        {"the call raises",
         [](FakePlatform&, fake::ScriptedObject& script) {
             script.answers = {{false, std::nullopt, std::nullopt, std::nullopt,
                                Error(-2147467259, L"Server unreachable")}};
         },
         preamble() + Lines{L"MSG : Query String :--> " + defaultQuery(), L"MSG : Webpost Try 1",
                            L"ERR : in sendWebPost function() Server unreachable"}},
        {"the library's process ends as the object is created",
         [](FakePlatform& os, fake::ScriptedObject&) {
             os.child.endCode = 0xC0000005;
             os.child.endsAt = 1;
         },
         {L"ERR : in sendWebPost function() The process of Mavlin.WebPost ended with code "
          L"0xC0000005 during the object's creation."}},
        {"the library's process ends after its answer",
         [](FakePlatform& os, fake::ScriptedObject& script) {
             script.answers = {{false, std::nullopt, L"busy", std::nullopt, std::nullopt}};
             os.child.endCode = 0;
             os.child.endsAt = 2;
             os.child.endsAfterAnswer = true;
         },
         preamble() + tryLines(1, false, L"busy") +
             Lines{L"MSG : Query String :--> " + defaultQuery(), L"MSG : Webpost Try 2",
                   L"ERR : in sendWebPost function() The process of Mavlin.WebPost ended with "
                   L"code 0x00000000 during the call of PostXMLString."}},
        {"the library's process answers what cannot be read",
         [](FakePlatform& os, fake::ScriptedObject&) { os.child.garbledAt = 2; },
         preamble() + Lines{L"MSG : Query String :--> " + defaultQuery(), L"MSG : Webpost Try 1",
                            L"ERR : in sendWebPost function() The process of Mavlin.WebPost "
                            L"gave a reply that cannot be read, and was ended, during the call "
                            L"of PostXMLString."}},
        // A slow or failed registration: the class names another library, or none.
        {"the class names another library",
         [](FakePlatform& os, fake::ScriptedObject&) {
             os.registry.setString(kInprocServer, L"", L"C:\\Other\\Mavlin.dll");
         },
         {L"ERR : in sendWebPost function() Mavlin.WebPost's InprocServer32 names "
          L"C:\\Other\\Mavlin.dll"}},
        {"the class names no library",
         [](FakePlatform& os, fake::ScriptedObject&) {
             os.registry.removeValue(kInprocServer, L"");
         },
         {L"ERR : in sendWebPost function() Mavlin.WebPost's InprocServer32 names nothing"}},
        {"others may change TreskPostLogs",
         [](FakePlatform& os, fake::ScriptedObject&) {
             os.tree.addFolder(kInstall + L"TreskPostLogs");
             os.tree.openToOthers(kInstall + L"TreskPostLogs");
         },
         preamble() + tryLines(1, false) + tryLines(2, false) + tryLines(3, false) +
             tryLines(4, false) + tryLines(5, false) +
             Lines{L"MSG : Webpost failed for 5 times. Tkt.",
                   L"MSG : Creating file in TreskPostLogs Folder.",
                   L"ERR : in sendWebPost function() " + kInstall +
                       L"TreskPostLogs may be changed by BUILTIN\\Users (FILE_WRITE_DATA); the "
                       L"report is not kept"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FakePlatform os;
        RunContext run(os.view());
        prepareRun(os, run);
        auto& script = os.automation.addClass(L"Mavlin.WebPost");
        c.arrange(os, script);

        sendWebPost(run);

        EXPECT_EQ(os.exeLogMessages(), c.lines);
        EXPECT_EQ(os.tree.filePaths().size(), FakePlatform().tree.filePaths().size() + 1)
            << "only the run log is new";
        EXPECT_EQ(os.automation.liveObjects, 0);
    }
}

// The class's library as COM would load it: an expandable value expanded, a plain one
// taken as it stands, a quoted or short name of the library, and never a relative one.
TEST_F(WebPostTest, TheClassNamesTheLibraryAsCOMReadsIt) {
    struct Case {
        const wchar_t* named;
        std::uint32_t type;
        bool delivered;
    };
    const Case cases[] = {
        {L"\"%ProgramFiles%\\QUENDA~1\\mavlin.DLL\"", kRegExpandSz, true},
        {L"%ProgramFiles%\\QUENDA Agent\\Mavlin.dll", kRegSz, false},
        {L"Mavlin.dll", kRegSz, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.named)));
        FakePlatform os;
        RunContext run(os.view());
        prepareRun(os, run);
        os.automation.addClass(L"Mavlin.WebPost").resultWhenUnscripted = true;
        os.tree.addFile(L"Mavlin.dll", L"");  // where a search might find it
        const std::wstring named = c.named;
        os.registry.setValue(kInprocServer, L"", c.type,
                             std::string(named.begin(), named.end()) + '\0');
        os.tree.longNames[fake::FileTree::keyOf(L"C:\\Program Files\\QUENDA~1\\mavlin.DLL")] =
            L"C:\\Program Files\\QUENDA Agent\\mavlin.DLL";

        sendWebPost(run);

        EXPECT_EQ(run.state.exitStatus,
                  c.delivered ? ExitStatus::Delivered : ExitStatus::ReportLost);
        EXPECT_EQ(os.ops.count("PostXMLString"), c.delivered ? 1 : 0);
    }
}

TEST_F(WebPostTest, ConfiguredEndpointIsUsed) {
    os_.tree.addFolder(kInstall + L"Configuration");
    os_.tree.addFile(kInstall + L"Configuration\\Norvick.ini",
                     L"[wpsysuptimedata]\r\nURL=http://127.0.0.1:8080/agent\r\n");
    webPost_->resultWhenUnscripted = true;

    sendWebPost(run_);

    ASSERT_EQ(webPost_->calls.size(), 1u);
    EXPECT_EQ(webPost_->calls[0].queryString,
              L"http://127.0.0.1:8080/agent/tfr_wpsysuptimedata.asp?mmid=M1001&sid=S2002&rid=417"
              L"&rty=VAMR");
}

}  // namespace
}  // namespace tavrel
