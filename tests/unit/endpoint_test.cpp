#include "settings/endpoint.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "log/run_log.h"
#include "support/fake_platform.h"

namespace tavrel {
namespace {

using fake::FakePlatform;
using Lines = std::vector<std::wstring>;

const std::wstring kIniPath =
    std::wstring(FakePlatform::kInstallPath) + L"Configuration\\Norvick.ini";

class EndpointTest : public testing::Test {
  protected:
    EndpointTest() : run_(os_.view()) {
        run_.state.gFso = os_.fileSystems.createFileSystem();
        createRunLog(run_);
        run_.state.gInstallPath = FakePlatform::kInstallPath;
    }

    void writeIni(const std::wstring& text) {
        os_.tree.addFolder(std::wstring(FakePlatform::kInstallPath) + L"Configuration");
        os_.tree.addFile(kIniPath, text);
    }

    FakePlatform os_;
    RunContext run_;
};

TEST_F(EndpointTest, UrlOfTheSectionComesBackTrimmedAndLogged) {
    struct Case {
        const char* what;
        std::wstring ini;
        std::wstring url;
    };
    const std::wstring longUrl(6000, L'u');
    const Case cases[] = {
        {"plain", L"[wpsysuptimedata]\r\nURL=https://agent.example/post\r\n",
         L"https://agent.example/post"},
        {"blanks kept inside quotes are trimmed",
         L"[other]\r\nURL=x\r\n[WPSysUpTimeData]\r\nurl=\"  https://a.example/  \"\r\n",
         L"https://a.example/"},
        {"section without the key", L"[wpsysuptimedata]\r\nHOST=x\r\n", L""},
        {"no such section", L"[other]\r\nURL=https://b.example/\r\n", L""},
        {"blank value", L"[wpsysuptimedata]\r\nURL=\"   \"\r\n", L""},
        {"too long for the buffer", L"[wpsysuptimedata]\r\nURL=" + longUrl + L"\r\n",
         std::wstring(4999, L'u')},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FakePlatform os;
        RunContext run(os.view());
        run.state.gFso = os.fileSystems.createFileSystem();
        createRunLog(run);
        run.state.gInstallPath = FakePlatform::kInstallPath;
        os.tree.addFolder(std::wstring(FakePlatform::kInstallPath) + L"Configuration");
        os.tree.addFile(kIniPath, c.ini);

        EXPECT_EQ(readNorvick(run, L"wpsysuptimedata"), c.url);
        EXPECT_EQ(os.exeLogMessages(),
                  (Lines{L"MSG : Getting URL for wpsysuptimedata", L"MSG : URL is " + c.url}));
    }
}

TEST_F(EndpointTest, MissingFileIsLoggedAndGivesEmptyText) {
    EXPECT_EQ(readNorvick(run_, L"wpsysuptimedata"), L"");
    EXPECT_EQ(os_.exeLogMessages(),
              (Lines{L"MSG : Getting URL for wpsysuptimedata", L"MSG : Norvick.ini not found."}));
    EXPECT_EQ(os_.ops.count("GetPrivateProfileString"), 0);
}

TEST_F(EndpointTest, EmptyInstallationPathUsesTheRelativePathForBothSteps) {
    run_.state.gInstallPath.clear();
    os_.tree.addFolder(L"Configuration");
    os_.tree.addFile(L"Configuration\\Norvick.ini", L"[wpsysuptimedata]\r\nURL=https://r/\r\n");

    EXPECT_EQ(readNorvick(run_, L"wpsysuptimedata"), L"https://r/");
    for (const auto& call : os_.ops.calls()) {
        if (call.operation == "FileExists") {
            EXPECT_EQ(call.detail, L"Configuration\\Norvick.ini");
        }
        if (call.operation == "GetPrivateProfileString") {
            EXPECT_EQ(call.detail, L"[wpsysuptimedata] URL Configuration\\Norvick.ini");
        }
    }
}

TEST_F(EndpointTest, ErrorIsLoggedWithItsDescriptionOnly) {
    os_.ops.failEvery("FileExists", Error(70, L"Permission denied"));
    EXPECT_EQ(readNorvick(run_, L"wpsysuptimedata"), L"");
    EXPECT_EQ(os_.exeLogMessages(), (Lines{L"MSG : Getting URL for wpsysuptimedata",
                                           L"ERR : in readNorvick function() Permission denied"}));
}

TEST_F(EndpointTest, FailedProfileReadGivesEmptyTextSilently) {
    writeIni(L"[wpsysuptimedata]\r\nURL=https://agent.example/\r\n");
    os_.ops.failEvery("GetPrivateProfileString", Error(7, L"Out of memory"));
    EXPECT_EQ(readIniValue(run_, L"wpsysuptimedata", L"URL", kIniPath), L"");
    EXPECT_EQ(os_.exeLogMessages(), Lines{});
}

// A profile function that leaves the given buffer and reports the given count.
class ScriptedProfileReader : public ProfileReader {
  public:
    ScriptedProfileReader(std::wstring buffer, std::uint32_t count)
        : buffer_(std::move(buffer)), count_(count) {}
    ProfileString readString(const std::wstring&, const std::wstring&, const std::wstring&,
                             std::uint32_t bufferSize, const std::wstring&) override {
        ProfileString result;
        result.buffer = buffer_;
        result.buffer.resize(bufferSize, L'\0');
        result.count = count_;
        return result;
    }

  private:
    std::wstring buffer_;
    std::uint32_t count_;
};

TEST(IniValue, OverstatedCountReadsNoFurtherThanTheCopiedCharacters) {
    struct Case {
        const char* what;
        std::wstring buffer;
        std::uint32_t count;
        std::wstring value;
    };
    using namespace std::string_literals;
    const Case cases[] = {
        {"count beyond the buffer", std::wstring(5000, L'v'), 10000, std::wstring(5000, L'v')},
        {"count past the terminating NUL", L" https://r/ ", 20, L"https://r/"},
        {"count past an embedded NUL", L"ab\0cd"s, 5, L"ab"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FakePlatform os;
        ScriptedProfileReader scripted(c.buffer, c.count);
        Platform platform = os.view();
        Platform overstated{
            platform.host,   platform.registry, platform.fileSystems, platform.clock,   scripted,
            platform.system, platform.wmi,      platform.automation,  platform.eventLog};
        RunContext run(overstated);
        EXPECT_EQ(readIniValue(run, L"s", L"k", L"f.ini"), c.value);
    }
}

}  // namespace
}  // namespace tavrel
