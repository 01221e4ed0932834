// The Win32 side of the seam against the real API (under Wine), where the fake
// cannot speak for it.
#include <windows.h>

#include <gtest/gtest.h>

#include "platform/win32/ansi_text.h"
#include "platform/win32/unique_resource.h"
#include "platform/win32/win32_clock.h"
#include "platform/win32/win32_error.h"
#include "platform/win32/win32_file_system.h"
#include "platform/win32/win32_host.h"
#include "platform/win32/win32_registry.h"

namespace tavrel::win32 {
namespace {

TEST(Win32Host, OnlyTheFirstClaimantIsAloneUntilItEnds) {
    auto first = std::make_unique<Win32Host>();
    EXPECT_FALSE(first->previousInstanceRunning());
    Win32Host second;
    EXPECT_TRUE(second.previousInstanceRunning());
    first.reset();
    Win32Host third;
    EXPECT_FALSE(third.previousInstanceRunning());
}

TEST(Win32Host, ExecutableFolderHoldsTheExecutableAndHasNoTrailingBackslash) {
    Win32Host host;
    const std::wstring folder = host.executableFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_NE(folder.back(), L'\\');
    const DWORD attributes = GetFileAttributesW((folder + L"\\tavrel_win32_tests.exe").c_str());
    EXPECT_NE(attributes, INVALID_FILE_ATTRIBUTES);
}

TEST(Win32TextStream, WritesTheSystemAnsiCodePage) {
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::wstring path = std::wstring(temp) + L"tavrel ansi test.txt";
    const std::wstring text = L"Caf\u00e9 \u4e2d";
    Win32FileSystem fs;
    fs.createTextFile(path)->writeLine(text);

    auto file = ownFileHandle(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                          OPEN_EXISTING, 0, nullptr));
    char buffer[64] = {};
    DWORD read = 0;
    ReadFile(file.get(), buffer, sizeof buffer, &read, nullptr);
    file.reset();
    DeleteFileW(path.c_str());

    EXPECT_EQ(std::string(buffer, read), wideToAnsi(text) + "\r\n");
    EXPECT_EQ(std::string(buffer, 3), "Caf");  // single bytes, not UTF-16
}

TEST(Win32AnsiText, RoundTripKeepsEmbeddedNuls) {
    const std::string bytes("ab\0cd", 5);
    EXPECT_EQ(ansiToWide(bytes), std::wstring(L"ab\0cd", 5));
    EXPECT_EQ(wideToAnsi(std::wstring(L"ab\0cd", 5)), bytes);
}

TEST(Win32Registry, OpensTheThirtyTwoBitViewOnly) {
    const char* both = "Software\\TavrelSeamTest";
    const char* only64 = "Software\\TavrelSeamTest64";
    HKEY created = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, both, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &created, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(created);
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, only64, 0, nullptr, 0,
                              KEY_ALL_ACCESS | KEY_WOW64_64KEY, nullptr, &created, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(created);

    Win32Registry registry;
    RegistryOpenResult present =
        registry.openKey(RegistryRoot::LocalMachine, L"Software\\TavrelSeamTest", 0, kKeyAllAccess);
    EXPECT_EQ(present.resultCode, ERROR_SUCCESS);
    EXPECT_FALSE(present.key.isNull());
    EXPECT_EQ(present.key.close(), ERROR_SUCCESS);

    RegistryOpenResult otherView = registry.openKey(
        RegistryRoot::LocalMachine, L"Software\\TavrelSeamTest64", 0, kKeyAllAccess);
    EXPECT_EQ(otherView.resultCode, ERROR_FILE_NOT_FOUND);
    EXPECT_TRUE(otherView.key.isNull());

    RegDeleteKeyA(HKEY_LOCAL_MACHINE, both);
    RegDeleteKeyExA(HKEY_LOCAL_MACHINE, only64, KEY_WOW64_64KEY, 0);
}

TEST(Win32Errors, CommonFileErrorsGetTheProgramsNumbersAndTheSystemsText) {
    struct Case {
        DWORD code;
        std::int32_t number;
    };
    const Case cases[] = {
        {ERROR_FILE_NOT_FOUND, errnum::kFileNotFound},
        {ERROR_PATH_NOT_FOUND, errnum::kPathNotFound},
        {ERROR_ACCESS_DENIED, errnum::kPermissionDenied},
        {ERROR_ALREADY_EXISTS, errnum::kFileAlreadyExists},
        {ERROR_DISK_FULL, static_cast<std::int32_t>(HRESULT_FROM_WIN32(ERROR_DISK_FULL))},
    };
    for (const auto& c : cases) {
        const Error error = errorFromWin32(c.code);
        EXPECT_EQ(error.number(), c.number);
        ASSERT_FALSE(error.description().empty());
        EXPECT_NE(error.description().back(), L'\n');
    }
}

TEST(Win32Clock, GivesAPlausibleLocalTimeAndASeparator) {
    Win32Clock clock;
    const LocalTime now = clock.now();
    EXPECT_GE(now.year, 2000);
    EXPECT_GE(now.month, 1);
    EXPECT_LE(now.month, 12);
    EXPECT_FALSE(clock.timeSeparator().empty());
}

}  // namespace
}  // namespace tavrel::win32
