// WMI's scripting objects under Wine: every step of the uptime query, property
// readings on a class Wine does fill, and the refusals.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cwctype>
#include <functional>
#include <memory>
#include <string>

#include "platform/win32/com_resources.h"
#include "platform/win32/win32_wmi.h"
#include "support/test_host.h"

namespace tavrel::win32 {
namespace {

const wchar_t* const kMoniker = L"winmgmts:\\\\.\\root\\cimv2";

std::unique_ptr<WmiSession> connectedSession(Wmi& wmi) {
    auto session = wmi.openSession();
    session->bindMoniker(kMoniker);
    session->createLocator(L"WbemScripting.SWbemLocator");
    session->setImpersonationLevel(3);
    session->connectServer(L".", L"root\\CIMV2", L"", L"");
    return session;
}

bool isDecimal(const std::wstring& text) {
    if (text.empty()) {
        return false;
    }
    for (wchar_t c : text) {
        if (!std::iswdigit(static_cast<wint_t>(c))) {
            return false;
        }
    }
    return true;
}

class Win32WmiTest : public testing::Test {
  protected:
    ComApartment apartment;
    Win32Wmi wmi;
};

// Windows keeps one instance of the performance class; Wine has none.
TEST_F(Win32WmiTest, TheUptimeQueryRunsEveryStep) {
    auto session = connectedSession(wmi);
    session->execQuery(L"Select * From Win32_PerfFormattedData_PerfOS_System");
    if (!testhost::runsUnderWine()) {
        ASSERT_TRUE(session->nextResult());
        EXPECT_TRUE(isDecimal(session->readProperty(L"SystemUpTime")));
    }
    EXPECT_FALSE(session->nextResult());
    EXPECT_FALSE(session->nextResult());
}

TEST_F(Win32WmiTest, ReadsPropertiesAsText) {
    auto session = connectedSession(wmi);
    session->execQuery(L"Select * From Win32_OperatingSystem");
    ASSERT_TRUE(session->nextResult());
    struct Case {
        const wchar_t* property;
        std::function<bool(const std::wstring&)> fits;
    };
    const Case cases[] = {
        {L"Caption", [](const std::wstring& text) { return !text.empty(); }},
        {L"FreePhysicalMemory", isDecimal},  // uint64: decimal text from WMI
        {L"OSType", isDecimal},              // uint16: through the variant conversion
        {L"Primary", [](const std::wstring& text) { return text == L"True"; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.property)));
        try {
            const std::wstring text = session->readProperty(c.property);
            EXPECT_TRUE(c.fits(text)) << testing::PrintToString(text);
        } catch (const Error& error) {
            ADD_FAILURE() << error.number() << " " << testing::PrintToString(error.description());
        }
    }
    EXPECT_THROW(session->readProperty(L"NoSuchProperty"), Error);
    EXPECT_FALSE(session->nextResult());
    EXPECT_THROW(session->readProperty(L"Caption"), Error);
}

TEST_F(Win32WmiTest, StepsWithoutTheirObjectThrow) {
    struct Case {
        const char* name;
        std::function<void(WmiSession&)> step;
    };
    const Case cases[] = {
        {"impersonation without a locator", [](WmiSession& s) { s.setImpersonationLevel(3); }},
        {"connection without a locator",
         [](WmiSession& s) { s.connectServer(L".", L"root\\CIMV2", L"", L""); }},
        {"query without a connection", [](WmiSession& s) { s.execQuery(L"Select * From X"); }},
        {"enumeration without a query", [](WmiSession& s) { s.nextResult(); }},
        {"property without a result", [](WmiSession& s) { s.readProperty(L"Caption"); }},
        {"unknown moniker", [](WmiSession& s) { s.bindMoniker(L"tavrelnosuch:thing"); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto session = wmi.openSession();
        EXPECT_THROW(c.step(*session), Error);
    }
}

TEST_F(Win32WmiTest, AnUnregisteredLocatorIs429) {
    auto session = wmi.openSession();
    try {
        session->createLocator(L"Tavrel.NoSuchLocator");
        ADD_FAILURE() << "created";
    } catch (const Error& error) {
        EXPECT_EQ(error.number(), 429);
    }
}

// Wine's WMI provider switched off stands for a machine whose WMI cannot be reached.
// Wine fixes a process's DLL overrides when it starts and takes them from the Unix
// environment or its per-program registry settings, so the check runs in a copy of
// this program under its own name, which runs this test alone and sees the marker.
TEST(Win32WmiUnreachable, TheMonikerBindThrows) {
    const wchar_t* marker = L"TAVREL_WMI_UNREACHABLE";
    if (GetEnvironmentVariableW(marker, nullptr, 0) != 0) {
        ComApartment apartment;
        Win32Wmi wmi;
        auto session = wmi.openSession();
        try {
            session->bindMoniker(kMoniker);
            ADD_FAILURE() << "bound";
        } catch (const Error& error) {
            EXPECT_EQ(error.number(), static_cast<std::int32_t>(E_ACCESSDENIED));
        }
        return;
    }
    if (!testhost::runsUnderWine()) {
        GTEST_SKIP() << "needs Wine's per-program DLL overrides";
    }
    wchar_t exe[MAX_PATH] = {};
    wchar_t temp[MAX_PATH] = {};
    ASSERT_NE(GetModuleFileNameW(nullptr, exe, MAX_PATH), 0u);
    ASSERT_NE(GetTempPathW(MAX_PATH, temp), 0u);
    const std::wstring copy = std::wstring(temp) + L"tavrel_wmi_unreachable.exe";
    const wchar_t* settings = L"Software\\Wine\\AppDefaults\\tavrel_wmi_unreachable.exe";
    ASSERT_TRUE(CopyFileW(exe, copy.c_str(), FALSE));
    HKEY key = nullptr;
    ASSERT_EQ(
        RegCreateKeyExW(HKEY_CURRENT_USER, (std::wstring(settings) + L"\\DllOverrides").c_str(), 0,
                        nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
        ERROR_SUCCESS);
    const wchar_t disabled[] = L"disabled";
    RegSetValueExW(key, L"wbemprox", 0, REG_SZ, reinterpret_cast<const BYTE*>(disabled),
                   sizeof disabled);
    RegCloseKey(key);

    std::wstring commandLine =
        L"\"" + copy + L"\" --gtest_filter=Win32WmiUnreachable.TheMonikerBindThrows";
    SetEnvironmentVariableW(marker, L"1");
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    const BOOL started = CreateProcessW(copy.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0,
                                        nullptr, nullptr, &startup, &process);
    SetEnvironmentVariableW(marker, nullptr);
    DWORD exitCode = 1;
    if (started) {
        WaitForSingleObject(process.hProcess, INFINITE);
        GetExitCodeProcess(process.hProcess, &exitCode);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    RegDeleteTreeW(HKEY_CURRENT_USER, settings);
    DeleteFileW(copy.c_str());
    ASSERT_TRUE(started);
    EXPECT_EQ(exitCode, 0u);
}

}  // namespace
}  // namespace tavrel::win32
