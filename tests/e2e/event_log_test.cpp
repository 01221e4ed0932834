// On Windows: the event a run writes, as the fleet's tools read it from the Application
// log with its message. Wine keeps no event log; scripts/check-events.sh reads what its
// ReportEventW is given instead.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/win32/unique_resource.h"
#include "support/e2e_harness.h"
#include "support/test_host.h"

namespace tavrel::e2e {
namespace {

constexpr const wchar_t* kSourceKey =
    L"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\Tavrel";

// The source registered for the scenario's exe while the test lasts, unless one is
// registered already (an installed Tavrel's), which stays as it is.
class RegisteredSource {
  public:
    explicit RegisteredSource(const std::wstring& messageFile) {
        HKEY key = nullptr;
        DWORD disposition = 0;
        if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kSourceKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                            &key, &disposition) != ERROR_SUCCESS) {
            return;
        }
        const win32::UniqueKey owned(key);
        created_ = disposition == REG_CREATED_NEW_KEY;
        if (created_) {
            const DWORD types = 7;
            RegSetValueExW(key, L"EventMessageFile", 0, REG_EXPAND_SZ,
                           reinterpret_cast<const BYTE*>(messageFile.c_str()),
                           static_cast<DWORD>((messageFile.size() + 1) * sizeof(wchar_t)));
            RegSetValueExW(key, L"TypesSupported", 0, REG_DWORD,
                           reinterpret_cast<const BYTE*>(&types), sizeof types);
        }
    }
    ~RegisteredSource() {
        if (created_) {
            RegDeleteKeyW(HKEY_LOCAL_MACHINE, kSourceKey);
        }
    }
    RegisteredSource(const RegisteredSource&) = delete;
    RegisteredSource& operator=(const RegisteredSource&) = delete;

  private:
    bool created_ = false;
};

// The newest event of the source, as wevtutil prints it in text.
std::string newestEvent(const std::wstring& folder) {
    const std::wstring output = folder + L"\\newest-event.txt";
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    {
        auto file = win32::ownFileHandle(
            CreateFileW(output.c_str(), GENERIC_WRITE, 0, &inherit, CREATE_ALWAYS, 0, nullptr));
        if (!file) {
            return {};
        }
        wchar_t system[MAX_PATH];
        GetSystemDirectoryW(system, MAX_PATH);
        std::wstring commandLine = L"\"" + std::wstring(system) +
                                   L"\\wevtutil.exe\" qe Application "
                                   L"\"/q:*[System[Provider[@Name='Tavrel']]]\" /c:1 /rd:true "
                                   L"/f:text";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = file.get();
        startup.hStdError = file.get();
        PROCESS_INFORMATION process{};
        if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                            nullptr, nullptr, &startup, &process)) {
            return {};
        }
        const win32::UniqueHandle processHandle(process.hProcess);
        const win32::UniqueHandle threadHandle(process.hThread);
        WaitForSingleObject(process.hProcess, 60000);
    }
    // Narrow text whether wevtutil wrote in a code page or in UTF-16.
    std::string text = AgentMachine::readFile(output).value_or("");
    text.erase(std::remove(text.begin(), text.end(), '\0'), text.end());
    return text;
}

TEST(EventLog, TheNewestEventOfTheSourceSaysHowTheRunEnded) {
    if (testhost::runsUnderWine()) {
        GTEST_SKIP() << "Wine keeps no event log";
    }
    struct Case {
        const char* what;
        const char* script;
        ExitStatus status;
        std::vector<std::string> words;
    };
    const Case cases[] = {
        {"delivered",
         "true",
         ExitStatus::Delivered,
         {"Event ID: 1000", "Level: Information", "Report delivered",
          "ApplicationLog\\TavrelLog.txt"}},
        {"spooled",
         "false",
         ExitStatus::Spooled,
         {"Event ID: 1002", "Level: Warning", "kept as the unsent-report file",
          "TreskPostLogs\\wpsysuptimedata_N_417_"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        AgentMachine machine(L"event log");
        machine.seedNormalAgent();
        machine.installWebPostDouble(c.script);
        const RegisteredSource source(machine.exeFolder() + L"\\Tavrel.exe");

        ASSERT_EQ(machine.runTavrel(), c.status);

        const std::string event = newestEvent(machine.workingFolder());
        EXPECT_NE(event.find("Source: Tavrel"), std::string::npos) << event;
        for (const auto& words : c.words) {
            EXPECT_NE(event.find(words), std::string::npos) << words << " in " << event;
        }
    }
}

}  // namespace
}  // namespace tavrel::e2e
