// The Win32 side of the seam against the real API (under Wine), where the fake
// cannot speak for it.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "platform/win32/ansi_text.h"
#include "platform/win32/unique_resource.h"
#include "platform/win32/win32_clock.h"
#include "platform/win32/win32_error.h"
#include "platform/win32/win32_file_system.h"
#include "platform/win32/win32_host.h"
#include "platform/win32/win32_profile.h"
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
    if (sizeof(void*) != 4) {
        GTEST_SKIP() << "only a 32-bit process is redirected to the 32-bit view";
    }
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

namespace tavrel::win32 {
namespace {

// The key a test writes raw values into, in the view a 32-bit program reads.
class ScratchKey {
  public:
    ScratchKey() {
        RegCreateKeyExA(HKEY_LOCAL_MACHINE, kName, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_,
                        nullptr);
    }
    ~ScratchKey() {
        RegCloseKey(key_);
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, kName);
    }
    void set(const char* name, DWORD type, const std::string& bytes) {
        RegSetValueExA(key_, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                       static_cast<DWORD>(bytes.size()));
    }
    static constexpr const char* kName = "Software\\TavrelValueTest";

  private:
    HKEY key_ = nullptr;
};

TEST(Win32Registry, QueriesReportTypeSizeAndTheWholeZeroFilledBuffer) {
    ScratchKey scratch;
    Win32Registry registry;
    RegistryOpenResult opened = registry.openKey(RegistryRoot::LocalMachine,
                                                 L"Software\\TavrelValueTest", 0, kKeyAllAccess);
    ASSERT_EQ(opened.resultCode, ERROR_SUCCESS);
    const std::uintptr_t key = opened.key.handle();

    struct Case {
        const char* name;
        DWORD type;
        std::string bytes;
        std::wstring textBeforeNul;  // up to the first NUL
        bool hasNul;
    };
    const Case cases[] = {
        {"terminated", REG_SZ, std::string("abc\0", 4), L"abc", true},
        {"only terminator", REG_SZ, std::string("\0", 1), L"", true},
        {"embedded", REG_SZ, std::string("ab\0cd\0", 6), L"ab", true},
        // The ANSI query converts the stored text and reports room for a terminator, so
        // the zero-filled buffer ends in a NUL even for text stored without one.
        {"unterminated", REG_SZ, "abc", L"abc", true},
        {"empty", REG_SZ, "", L"", false},
        {"accented", REG_SZ, std::string("caf\xe9\0", 5), ansiToWide("caf\xe9"), true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        scratch.set(c.name, c.type, c.bytes);
        const std::wstring name(c.name, c.name + std::strlen(c.name));
        const RegistryValueSize size = registry.queryValueSize(key, name);
        ASSERT_EQ(size.resultCode, ERROR_SUCCESS);
        EXPECT_EQ(size.type, c.type);
        ASSERT_GE(size.byteCount, c.bytes.size());

        const RegistryValueData data = registry.queryValueData(key, name, size.byteCount);
        ASSERT_EQ(data.resultCode, ERROR_SUCCESS);
        const auto nul = data.text.find(L'\0');
        EXPECT_EQ(nul != std::wstring::npos, c.hasNul) << testing::PrintToString(data.text);
        EXPECT_EQ(data.text.substr(0, nul), c.textBeforeNul);
    }

    EXPECT_EQ(registry.queryValueSize(key, L"absent").resultCode, ERROR_FILE_NOT_FOUND);
    scratch.set("grows", REG_SZ, std::string("ab\0", 3));
    EXPECT_EQ(registry.queryValueData(key, L"grows", 1).resultCode, ERROR_MORE_DATA);
    scratch.set("number", REG_DWORD, std::string("\x01\0\0\0", 4));
    EXPECT_EQ(registry.queryValueSize(key, L"number").type, static_cast<DWORD>(REG_DWORD));
}

TEST(Win32Profile, ReadsOneValueIntoTheBufferWithItsCount) {
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::wstring path = std::wstring(temp) + L"tavrel profile test.ini";
    const std::string longValue(6000, 'u');
    const std::string text =
        "[other]\r\nURL=wrong\r\n[WpSysUpTimeData]\r\nurl =  spaced  \r\n"
        "LONG=" +
        longValue + "\r\nQUOTED=\"  kept  \"\r\n";
    {
        auto file = ownFileHandle(
            CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        DWORD written = 0;
        WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    }

    struct Case {
        const wchar_t* section;
        const wchar_t* key;
        std::wstring value;
    };
    const Case cases[] = {
        {L"wpsysuptimedata", L"URL", L"spaced"},
        {L"wpsysuptimedata", L"QUOTED", L"  kept  "},
        {L"wpsysuptimedata", L"LONG", std::wstring(4999, L'u')},
        {L"wpsysuptimedata", L"MISSING", L""},
        {L"nosuchsection", L"URL", L""},
    };
    Win32ProfileReader reader;
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.key)));
        const ProfileString read = reader.readString(c.section, c.key, L"", 5000, path);
        EXPECT_EQ(read.buffer.size(), 5000u);
        EXPECT_EQ(read.count, c.value.size());
        EXPECT_EQ(read.buffer.substr(0, read.count), c.value);
        EXPECT_EQ(read.buffer.find_first_not_of(L'\0', read.count), std::wstring::npos);
    }
    EXPECT_EQ(reader.readString(L"s", L"k", L"", 5000, path + L".absent").count, 0u);
    DeleteFileW(path.c_str());
}

}  // namespace
}  // namespace tavrel::win32

#include "platform/win32/win32_system.h"

namespace tavrel::win32 {
namespace {

TEST(Win32System, WindowsDirectoryGivesTheLengthOrAsksForMore) {
    wchar_t expected[MAX_PATH] = {};
    const UINT expectedLength = GetWindowsDirectoryW(expected, MAX_PATH);
    ASSERT_GT(expectedLength, 3u);

    Win32System system;
    const WindowsDirectory fits = system.windowsDirectory(200);
    EXPECT_EQ(fits.buffer.size(), 200u);
    ASSERT_EQ(fits.length, expectedLength);
    EXPECT_EQ(fits.buffer.substr(0, fits.length), std::wstring(expected, expectedLength));

    const WindowsDirectory tooSmall = system.windowsDirectory(3);
    EXPECT_EQ(tooSmall.buffer.size(), 3u);
    EXPECT_GT(tooSmall.length, 3u);
}

TEST(Win32System, StartsOnlyProgramsOfTheSystemFolder) {
    Win32System system;
    // This test program lies in the working folder and our own, never in the system one.
    EXPECT_THROW(system.startSystemProgramHidden(L"tavrel_win32_tests.exe",
                                                 L"tavrel_win32_tests.exe --gtest_list_tests"),
                 Error);
    EXPECT_THROW(system.startSystemProgramHidden(L"tavrel-no-such-program.exe", L"x"), Error);
    EXPECT_NO_THROW(system.startSystemProgramHidden(L"cmd.exe", L"cmd.exe /c exit 0"));
    system.sleep(0);
}

TEST(Win32System, UpperCasesEveryLetterWhateverTheLocale) {
    Win32System system;
    // Under a Turkish locale "i" would become a dotted capital; the mapping ignores it.
    SetThreadLocale(MAKELCID(MAKELANGID(LANG_TURKISH, SUBLANG_DEFAULT), SORT_DEFAULT));
    EXPECT_EQ(system.toUpperInvariant(L"m1001\u00e9i-x"), L"M1001\u00c9I-X");
    EXPECT_EQ(system.toUpperInvariant(L""), L"");
    SetThreadLocale(LOCALE_USER_DEFAULT);
}

}  // namespace
}  // namespace tavrel::win32
