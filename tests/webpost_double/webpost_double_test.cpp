// The web-post double under Wine, used the way Tavrel uses the agent's library: registered
// with regsvr32, created by ProgID, called late-bound with the nine arguments.
#include <gtest/gtest.h>
#include <wrl/client.h>

#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "double_harness.h"
#include "support/agent_guard.h"

namespace tavrel::webpost {
namespace {

using Lines = std::vector<std::string>;
using Microsoft::WRL::ComPtr;

constexpr CLSID kExpectedClsid = {
    0x8a1cc926, 0x0601, 0x4b2b, {0x8e, 0x6d, 0xea, 0x4c, 0x74, 0xa2, 0xdf, 0xb6}};
constexpr const wchar_t* kClassKey = L"CLSID\\{8A1CC926-0601-4B2B-8E6D-EA4C74A2DFB6}";
const std::wstring kReport =
    L"<wpsysuptimedata><regid>417</regid><uptime>900</uptime>"
    L"<mndtime>12/7/2026 14:5:9</mndtime></wpsysuptimedata>";
const std::wstring kRemoteQuery =
    L"https://posts.example.invalid/tfr_wpsysuptimedata.asp?mmid=7&sid=8&rid=417&rty=W";

std::optional<std::wstring> classValue(const std::wstring& subkey, const wchar_t* name) {
    wchar_t value[MAX_PATH] = {};
    DWORD size = sizeof value;
    if (RegGetValueW(HKEY_CLASSES_ROOT, (std::wstring(kClassKey) + subkey).c_str(), name,
                     RRF_RT_REG_SZ, nullptr, value, &size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    return value;
}

// Each case keeps to the thread's apartment, as the program does.
class ComApartment {
  public:
    ComApartment() { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
    ~ComApartment() { CoUninitialize(); }
};

TEST(WebPostRegistration, RegsvrRecordsTheDllsOwnPathAndRemovesItAgain) {
    ComApartment apartment;
    const std::wstring folder = copyDoubleInto(L"Mavlin double registration");
    const std::wstring dll = folder + L"\\Mavlin.dll";

    ASSERT_EQ(runRegsvr32(L"-s \"" + dll + L"\""), 0u);
    CLSID clsid{};
    EXPECT_EQ(CLSIDFromProgID(L"Mavlin.WebPost", &clsid), S_OK);
    EXPECT_TRUE(IsEqualCLSID(clsid, kExpectedClsid));
    const auto server = classValue(L"\\InprocServer32", nullptr);
    ASSERT_TRUE(server);
    EXPECT_EQ(CompareStringOrdinal(server->c_str(), -1, dll.c_str(), -1, TRUE), CSTR_EQUAL)
        << testing::PrintToString(*server);
    EXPECT_EQ(classValue(L"\\InprocServer32", L"ThreadingModel"), L"Apartment");
    EXPECT_EQ(classValue(L"\\ProgID", nullptr), L"Mavlin.WebPost");
    // Marked as the tests' own, so an interrupted run's registration is no agent's.
    EXPECT_EQ(RegGetValueW(HKEY_CLASSES_ROOT, L"Mavlin.WebPost", testguard::kMadeByTestsValue,
                           RRF_RT_REG_SZ, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);

    ASSERT_EQ(runRegsvr32(L"-s -u \"" + dll + L"\""), 0u);
    EXPECT_NE(CLSIDFromProgID(L"Mavlin.WebPost", &clsid), S_OK);
    EXPECT_FALSE(classValue(L"", nullptr));
}

class WebPostDouble : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        folder_ = copyDoubleInto(L"Mavlin double calls");
        ASSERT_EQ(runRegsvr32(L"-s \"" + folder_ + L"\\Mavlin.dll\""), 0u);
    }
    static void TearDownTestSuite() {
        EXPECT_EQ(runRegsvr32(L"-s -u \"" + folder_ + L"\\Mavlin.dll\""), 0u);
    }

    void SetUp() override {
        forgetCalls();
        post_ = create();
        ASSERT_TRUE(post_);
    }

    static ComPtr<IDispatch> create() {
        CLSID clsid{};
        ComPtr<IDispatch> post;
        if (SUCCEEDED(CLSIDFromProgID(L"Mavlin.WebPost", &clsid))) {
            CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&post));
        }
        return post;
    }
    static void forgetCalls() {
        DeleteFileW(scriptPath().c_str());
        DeleteFileW(journalPath().c_str());
    }
    static std::wstring scriptPath() { return folder_ + L"\\Mavlin.script"; }
    static std::wstring journalPath() { return folder_ + L"\\Mavlin.journal"; }
    static void writeScript(const std::string& text) { writeFileBytes(scriptPath(), text); }
    static Lines journal() { return readFileLines(journalPath()).value_or(Lines{}); }
    /// The journal lines that start with `word`, e.g. every "answer".
    static Lines journalLinesOf(const std::string& word) {
        Lines picked;
        for (const auto& line : journal()) {
            if (line.starts_with(word + " ")) {
                picked.push_back(line);
            }
        }
        return picked;
    }

    ComApartment apartment_;
    ComPtr<IDispatch> post_;
    static inline std::wstring folder_;
};

struct ExpectedAnswer {
    VARTYPE type;
    LONG number;          // VT_BOOL and VT_I4
    const wchar_t* text;  // VT_BSTR
    const char* journalLine;
};

struct AnswerCase {
    const char* script;  // nullptr: no script file
    std::vector<ExpectedAnswer> answers;
};

TEST_F(WebPostDouble, AnswersEachCallAsItsLineSaysAndReusesTheLastLine) {
    const AnswerCase cases[] = {
        {nullptr,
         {{VT_BOOL, VARIANT_TRUE, nullptr, "answer 0x000B VT_BOOL true"},
          {VT_BOOL, VARIANT_TRUE, nullptr, "answer 0x000B VT_BOOL true"}}},
        {"false\r\ntrue\r\n",
         {{VT_BOOL, VARIANT_FALSE, nullptr, "answer 0x000B VT_BOOL false"},
          {VT_BOOL, VARIANT_TRUE, nullptr, "answer 0x000B VT_BOOL true"},
          {VT_BOOL, VARIANT_TRUE, nullptr, "answer 0x000B VT_BOOL true"}}},
        {"# raw variants\nint:1\nstr:yes\nstr:maybe\nempty\nnull\nint:0",
         {{VT_I4, 1, nullptr, "answer 0x0003 VT_I4 1"},
          {VT_BSTR, 0, L"yes", "answer 0x0008 VT_BSTR yes"},
          {VT_BSTR, 0, L"maybe", "answer 0x0008 VT_BSTR maybe"},
          {VT_EMPTY, 0, nullptr, "answer 0x0000 VT_EMPTY "},
          {VT_NULL, 0, nullptr, "answer 0x0001 VT_NULL "},
          {VT_I4, 0, nullptr, "answer 0x0003 VT_I4 0"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.script ? c.script : "no script");
        forgetCalls();
        if (c.script) {
            writeScript(c.script);
        }
        Lines expectedJournal;
        for (const auto& expected : c.answers) {
            PostCall call(kReport, kRemoteQuery);
            ASSERT_EQ(call.invoke(*post_.Get()), S_OK);
            ASSERT_EQ(V_VT(&call.result), expected.type);
            if (expected.type == VT_BOOL) {
                EXPECT_EQ(V_BOOL(&call.result), expected.number);
            } else if (expected.type == VT_I4) {
                EXPECT_EQ(V_I4(&call.result), expected.number);
            } else if (expected.type == VT_BSTR) {
                EXPECT_STREQ(V_BSTR(&call.result), expected.text);
            }
            expectedJournal.push_back(expected.journalLine);
        }
        EXPECT_EQ(journalLinesOf("answer"), expectedJournal);
    }
}

TEST_F(WebPostDouble, RepliesComeBackThroughTheReferencesAndStayUntilRewritten) {
    writeScript("false|reply3=  not today  |reply4=four\ntrue|reply1=  delivered  |reply2=two\n");
    PostCall tries(kReport, kRemoteQuery);

    ASSERT_EQ(tries.invoke(*post_.Get()), S_OK);
    EXPECT_EQ(tries.replies[0].text(), L"");
    EXPECT_EQ(tries.replies[2].text(), L"  not today  ");
    EXPECT_EQ(tries.replies[3].text(), L"four");

    ASSERT_EQ(tries.invoke(*post_.Get()), S_OK);
    EXPECT_EQ(tries.replies[0].text(), L"  delivered  ");
    EXPECT_EQ(tries.replies[1].text(), L"two");
    EXPECT_EQ(tries.replies[2].text(), L"  not today  ");
    EXPECT_EQ(tries.report.text(), kReport);
    EXPECT_EQ(tries.query.text(), kRemoteQuery);
    EXPECT_EQ(journalLinesOf("arg8"), (Lines{"arg8 0x4008 VT_BYREF|VT_BSTR ",
                                             "arg8 0x4008 VT_BYREF|VT_BSTR   not today  "}));
}

TEST_F(WebPostDouble, ReportIsRewrittenThroughItsReferenceWhenTheLineAsks) {
    writeScript("true|report=<changed/>");
    PostCall call(kReport, kRemoteQuery);

    ASSERT_EQ(call.invoke(*post_.Get()), S_OK);

    EXPECT_EQ(call.report.text(), L"<changed/>");
    EXPECT_EQ(journalLinesOf("set"), Lines{"set arg1 <changed/>"});
}

struct RaiseCase {
    const char* script;
    HRESULT code;
    const wchar_t* description;
    const char* journalLine;
};

TEST_F(WebPostDouble, RaisedErrorsArriveAsExceptionsWithTheirDescription) {
    const RaiseCase cases[] = {
        {"raise=0x80004005:Server unreachable|reply1=unused", E_FAIL, L"Server unreachable",
         "raise 0x80004005 Server unreachable"},
        {"true\nmaybe", E_INVALIDARG, L"Mavlin.script line 2: unknown answer \"maybe\"",
         "raise 0x80070057 Mavlin.script line 2: unknown answer \"maybe\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.script);
        forgetCalls();
        writeScript(c.script);
        PostCall tries(kReport, kRemoteQuery);
        if (std::string(c.script).starts_with("true")) {
            ASSERT_EQ(tries.invoke(*post_.Get()), S_OK);
        }

        EXPECT_EQ(tries.invoke(*post_.Get()), DISP_E_EXCEPTION);

        EXPECT_EQ(tries.exception.scode, c.code);
        EXPECT_STREQ(tries.exception.bstrDescription, c.description);
        EXPECT_STREQ(tries.exception.bstrSource, L"Mavlin.WebPost");
        EXPECT_EQ(V_VT(&tries.result), VT_EMPTY);
        EXPECT_EQ(tries.replies[0].text(), L"");
        EXPECT_EQ(journal().back(), c.journalLine);
    }
}

TEST_F(WebPostDouble, RefusesAnyCallThatIsNotAMethodCallWithNineArguments) {
    const UINT counts[] = {0, 8, 10};
    for (const UINT count : counts) {
        PostCall call(kReport, kRemoteQuery);
        EXPECT_EQ(call.invoke(*post_.Get(), count), DISP_E_BADPARAMCOUNT) << count;
        EXPECT_EQ(journal().back(), "reject 0x8002000E wrong argument count") << count;
    }
    PostCall call(kReport, kRemoteQuery);
    EXPECT_EQ(call.invoke(*post_.Get(), 9, DISPATCH_PROPERTYGET), DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(call.invoke(*post_.Get(), 9, DISPATCH_PROPERTYPUT), DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(call.invoke(*post_.Get(), 9, DISPATCH_METHOD | DISPATCH_PROPERTYGET), S_OK);
    EXPECT_EQ(journalLinesOf("call").size(), 4u);
}

TEST_F(WebPostDouble, KnowsOnlyPostXMLStringInAnyCase) {
    const std::pair<const wchar_t*, HRESULT> names[] = {
        {L"PostXMLString", S_OK},
        {L"postxmlstring", S_OK},
        {L"POSTXMLSTRING", S_OK},
        {L"PostXML", DISP_E_UNKNOWNNAME},
        {L"PostXMLString2", DISP_E_UNKNOWNNAME},
    };
    for (const auto& [name, expected] : names) {
        LPOLESTR asked = const_cast<LPOLESTR>(name);
        DISPID id = 0;
        EXPECT_EQ(post_->GetIDsOfNames(IID_NULL, &asked, 1, LOCALE_USER_DEFAULT, &id), expected)
            << testing::PrintToString(std::wstring(name));
        EXPECT_EQ(id, expected == S_OK ? 1 : DISPID_UNKNOWN);
    }
    UINT typeInfos = 7;
    EXPECT_EQ(post_->GetTypeInfoCount(&typeInfos), S_OK);
    EXPECT_EQ(typeInfos, 0u);
}

TEST_F(WebPostDouble, JournalHoldsEveryArgumentInCallOrderAndTheAnswer) {
    writeScript("false|reply3=no\r\n");
    // Non-ASCII and a line break in the report must not break the line-per-argument shape.
    PostCall call(L"<r>gr\u00fc\u00dfe\r\n</r>", kRemoteQuery);

    ASSERT_EQ(call.invoke(*post_.Get()), S_OK);

    EXPECT_EQ(journal(), (Lines{
                             "call 1",
                             "arg1 0x4008 VT_BYREF|VT_BSTR <r>gr\xC3\xBC\xC3\x9F"
                             "e\\x0D\\x0A</r>",
                             "arg2 0x000B VT_BOOL false",
                             "arg3 0x4008 VT_BYREF|VT_BSTR https://posts.example.invalid/"
                             "tfr_wpsysuptimedata.asp?mmid=7&sid=8&rid=417&rty=W",
                             "arg4 0x0008 VT_BSTR ",
                             "arg5 0x0008 VT_BSTR ",
                             "arg6 0x4008 VT_BYREF|VT_BSTR ",
                             "arg7 0x4008 VT_BYREF|VT_BSTR ",
                             "arg8 0x4008 VT_BYREF|VT_BSTR ",
                             "arg9 0x4008 VT_BYREF|VT_BSTR ",
                             "set arg8 no",
                             "answer 0x000B VT_BOOL false",
                         }));
}

TEST_F(WebPostDouble, CallsAreCountedFromTheJournalSoANewObjectGoesOn) {
    writeScript("false\nfalse\ntrue|reply1=third\n");
    writeFileBytes(journalPath(), "call 1\r\nanswer 0x000B VT_BOOL false\r\n");
    {
        PostCall call(kReport, kRemoteQuery);
        ASSERT_EQ(call.invoke(*post_.Get()), S_OK);
        EXPECT_EQ(V_BOOL(&call.result), VARIANT_FALSE);
    }
    post_.Reset();
    post_ = create();
    ASSERT_TRUE(post_);
    PostCall call(kReport, kRemoteQuery);

    ASSERT_EQ(call.invoke(*post_.Get()), S_OK);

    EXPECT_EQ(V_BOOL(&call.result), VARIANT_TRUE);
    EXPECT_EQ(call.replies[0].text(), L"third");
    EXPECT_EQ(journalLinesOf("call"), (Lines{"call 1", "call 2", "call 3"}));
}

TEST_F(WebPostDouble, WaitsAsLongAsTheLineSays) {
    writeScript("true|delay=400");
    PostCall call(kReport, kRemoteQuery);
    const ULONGLONG start = GetTickCount64();

    ASSERT_EQ(call.invoke(*post_.Get()), S_OK);

    EXPECT_GE(GetTickCount64() - start, 380u);
}

std::string narrow(const std::wstring& text) {
    return std::string(text.begin(), text.end());
}

TEST_F(WebPostDouble, PostsTheReportToALocalAddressWithPathAndQueryKept) {
    LocalSink sink;
    const std::wstring query = L"http://127.0.0.1:" + std::to_wstring(sink.port()) +
                               L"/tfr_wpsysuptimedata.asp?mmid=7&sid=8&rid=417&rty=W";
    std::optional<std::string> request;
    std::thread receiver([&] { request = sink.receive(10000); });
    PostCall call(kReport, query);

    const HRESULT result = call.invoke(*post_.Get());
    receiver.join();

    EXPECT_EQ(result, S_OK);
    ASSERT_TRUE(request);
    EXPECT_TRUE(request->starts_with("POST /tfr_wpsysuptimedata.asp?mmid=7&sid=8&rid=417&rty=W "))
        << *request;
    EXPECT_NE(request->find("\r\nContent-Type: text/xml"), std::string::npos) << *request;
    EXPECT_TRUE(request->ends_with("\r\n\r\n" + narrow(kReport))) << *request;
    EXPECT_EQ(journalLinesOf("forward"), Lines{"forward " + narrow(query) + " status 200"});
}

TEST_F(WebPostDouble, ReachesNoOtherAddressAndShrugsOffAFailedPost) {
    LocalSink sink;
    const std::string port = std::to_string(sink.port());
    PostCall elsewhere(kReport, L"http://localhost:" + std::wstring(port.begin(), port.end()) +
                                    L"/tfr_wpsysuptimedata.asp");
    std::optional<std::string> request;
    std::thread receiver([&] { request = sink.receive(1500); });
    EXPECT_EQ(elsewhere.invoke(*post_.Get()), S_OK);
    receiver.join();
    EXPECT_FALSE(request) << *request;
    EXPECT_TRUE(journalLinesOf("forward").empty());

    // Port 9 (discard) has no listener here: the post fails and the call still answers.
    const std::wstring deadEnd = L"http://127.0.0.1:9/tfr_wpsysuptimedata.asp";
    PostCall nobodyHome(kReport, deadEnd);
    EXPECT_EQ(nobodyHome.invoke(*post_.Get()), S_OK);
    EXPECT_EQ(V_BOOL(&nobodyHome.result), VARIANT_TRUE);
    const Lines forwards = journalLinesOf("forward");
    ASSERT_EQ(forwards.size(), 1u);
    EXPECT_TRUE(forwards[0].starts_with("forward " + narrow(deadEnd) + " failed ")) << forwards[0];
}

}  // namespace
}  // namespace tavrel::webpost
