#include "support/e2e_harness.h"

#include <aclapi.h>
#include <sddl.h>

#include <cstddef>
#include <stdexcept>

#include "platform/win32/ansi_text.h"
#include "platform/win32/unique_resource.h"
#include "support/agent_guard.h"
#include "support/log_lines.h"
#include "support/test_host.h"

namespace tavrel::e2e {

namespace {

constexpr const char* kAgentKey = "Software\\QUENDA";
constexpr const wchar_t* kScenariosFolder = L"C:\\Tavrel E2E";
constexpr const wchar_t* kWebPostClsid = L"{8A1CC926-0601-4B2B-8E6D-EA4C74A2DFB6}";

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        auto end = text.find("\r\n", start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}
constexpr DWORD kRunTimeoutMs = 120000;

void removeTree(const std::wstring& folder) {
    WIN32_FIND_DATAW entry{};
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &entry);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = entry.cFileName;
            if (name == L"." || name == L"..") {
                continue;
            }
            const std::wstring path = folder + L"\\" + name;
            if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
                removeTree(path);
            } else {
                SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(path.c_str());
            }
        } while (FindNextFileW(search, &entry));
        FindClose(search);
    }
    RemoveDirectoryW(folder.c_str());
}

void require(bool ok, const char* what) {
    if (!ok) {
        throw std::runtime_error(std::string(what) + " failed, error " +
                                 std::to_string(GetLastError()));
    }
}

// As an agent's installer would: only the system, the administrators and the account that
// runs the tests may change the scenarios' folders. Otherwise, on Windows, they would
// inherit every signed-in user's right to change what is made below C:\, and the program
// would refuse every scenario. Under Wine the mode stays as it was.
void protectScenariosFolder() {
    HANDLE token = nullptr;
    require(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token), "OpenProcessToken");
    win32::UniqueHandle heldToken(token);
    BYTE user[SECURITY_MAX_SID_SIZE + sizeof(TOKEN_USER)] = {};
    DWORD size = 0;
    require(GetTokenInformation(token, TokenUser, user, sizeof user, &size), "GetTokenInformation");
    LPWSTR sid = nullptr;
    require(ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(user)->User.Sid, &sid),
            "ConvertSidToStringSid");
    const std::wstring text =
        std::wstring(L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FA;;;") + sid + L")";
    LocalFree(sid);
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    require(ConvertStringSecurityDescriptorToSecurityDescriptorW(text.c_str(), SDDL_REVISION_1,
                                                                 &descriptor, nullptr),
            "ConvertStringSecurityDescriptorToSecurityDescriptor");
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL dacl = nullptr;
    GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted);
    const DWORD result =
        SetNamedSecurityInfoW(const_cast<LPWSTR>(kScenariosFolder), SE_FILE_OBJECT,
                              DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                              nullptr, nullptr, dacl, nullptr);
    LocalFree(descriptor);
    SetLastError(result);
    require(result == ERROR_SUCCESS, "SetNamedSecurityInfo");
}

}  // namespace

void AgentMachine::letEveryoneWrite(const std::wstring& path) {
    BYTE everyone[SECURITY_MAX_SID_SIZE] = {};
    DWORD size = sizeof everyone;
    require(CreateWellKnownSid(WinWorldSid, nullptr, everyone, &size), "CreateWellKnownSid");
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    DWORD result = GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                                         nullptr, nullptr, &dacl, nullptr, &descriptor);
    EXPLICIT_ACCESSW access{};
    access.grfAccessPermissions = GENERIC_READ | GENERIC_WRITE;
    access.grfAccessMode = GRANT_ACCESS;
    access.Trustee.TrusteeForm = TRUSTEE_IS_SID;
    access.Trustee.ptstrName = reinterpret_cast<LPWSTR>(everyone);
    PACL granted = nullptr;
    if (result == ERROR_SUCCESS) {
        result = SetEntriesInAclW(1, &access, dacl, &granted);
    }
    if (result == ERROR_SUCCESS) {
        result =
            SetNamedSecurityInfoW(const_cast<LPWSTR>(path.c_str()), SE_FILE_OBJECT,
                                  DACL_SECURITY_INFORMATION, nullptr, nullptr, granted, nullptr);
    }
    LocalFree(granted);
    LocalFree(descriptor);
    SetLastError(result);
    require(result == ERROR_SUCCESS, "granting Everyone write");
}

AgentMachine::AgentMachine(const std::wstring& scenario)
    : root_(std::wstring(kScenariosFolder) + L"\\" + scenario),
      exeFolder_(root_ + L"\\Program Files\\Tavrel"),
      installFolder_(root_ + L"\\QUENDA Agent") {
    // Before anything is made or removed: the keys deleted below may be an agent's.
    if (const auto found = testguard::findAgentStateNotMadeByTests()) {
        throw std::runtime_error("Refusing to touch " + win32::wideToAnsi(*found) +
                                 ": these tests did not make it");
    }
    CreateDirectoryW(kScenariosFolder, nullptr);
    protectScenariosFolder();
    removeTree(root_);
    require(CreateDirectoryW(root_.c_str(), nullptr), "CreateDirectory");
    require(CreateDirectoryW((root_ + L"\\Program Files").c_str(), nullptr), "CreateDirectory");
    require(CreateDirectoryW(exeFolder_.c_str(), nullptr), "CreateDirectory");
    require(CopyFileW(testhost::pathBesideThisProgram(L"Tavrel.exe").c_str(),
                      (exeFolder_ + L"\\Tavrel.exe").c_str(), FALSE),
            "CopyFile");
    removeAgentKey();
    removeWebPostRegistration();
}

// The machine is left as it was found, for the tests run on a real Windows machine too:
// no agent key, no registration of the double, no scenario folder.
AgentMachine::~AgentMachine() {
    removeAgentKey();
    removeWebPostRegistration();
    removeTree(root_);
    RemoveDirectoryW(kScenariosFolder);  // fails, rightly, while another scenario is there
}

void AgentMachine::createAgentKey() {
    HKEY key = nullptr;
    require(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kAgentKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            &key, nullptr) == ERROR_SUCCESS,
            "RegCreateKeyEx");
    const std::wstring marker = testguard::kMadeByTestsText;
    const LONG result = RegSetValueExW(key, testguard::kMadeByTestsValue, 0, REG_SZ,
                                       reinterpret_cast<const BYTE*>(marker.c_str()),
                                       static_cast<DWORD>((marker.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
    require(result == ERROR_SUCCESS, "RegSetValueEx");
}

void AgentMachine::setValue(const std::string& name, DWORD type, const std::string& bytes) {
    HKEY key = nullptr;
    require(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kAgentKey, 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS,
            "RegOpenKeyEx");
    // Raw bytes: RegSetValueExA stores exactly these, terminator or not.
    const LONG result =
        RegSetValueExA(key, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                       static_cast<DWORD>(bytes.size()));
    RegCloseKey(key);
    require(result == ERROR_SUCCESS, "RegSetValueEx");
}

void AgentMachine::setString(const std::string& name, const std::string& text) {
    setValue(name, REG_SZ, text + '\0');
}

void AgentMachine::seedNormalAgent() {
    require(CreateDirectoryW(installFolder_.c_str(), nullptr), "CreateDirectory");
    createAgentKey();
    setString("MEMBERID", "M1001");
    setString("SITEID", "S2002");
    setString("TYPE", "VAMR");
    setString("InstallationPath", win32::wideToAnsi(installFolder_));
    setString("REGID", "417");
}

void AgentMachine::removeAgentKey() {
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, kAgentKey);
}

void AgentMachine::replaceProgramWith(const std::wstring& source) {
    require(CopyFileW(source.c_str(), (exeFolder_ + L"\\Tavrel.exe").c_str(), FALSE), "CopyFile");
}

ExitStatus AgentMachine::runTavrel(const std::wstring& arguments) {
    std::wstring commandLine = L"\"" + exeFolder_ + L"\\Tavrel.exe\"";
    if (!arguments.empty()) {
        commandLine += L" " + arguments;
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    const auto start = [&] {
        return CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                              root_.c_str(), &startup, &process);
    };
    // Wine's process start now and then fails with an internal error on a loaded
    // machine; the scenario is about the program, so the start gets a second chance.
    bool started = start();
    if (!started && GetLastError() == ERROR_INTERNAL_ERROR) {
        Sleep(1000);
        started = start();
    }
    require(started, "CreateProcess");
    win32::UniqueHandle processHandle(process.hProcess);
    win32::UniqueHandle threadHandle(process.hThread);
    require(WaitForSingleObject(process.hProcess, kRunTimeoutMs) == WAIT_OBJECT_0,
            "waiting for Tavrel.exe");
    DWORD exitCode = 0;
    GetExitCodeProcess(process.hProcess, &exitCode);
    return static_cast<ExitStatus>(exitCode);
}

void AgentMachine::writeFile(const std::wstring& path, const std::string& bytes) {
    auto file = win32::ownFileHandle(
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    require(static_cast<bool>(file), "CreateFile");
    DWORD written = 0;
    require(
        WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr),
        "WriteFile");
}

std::optional<std::string> AgentMachine::readFile(const std::wstring& path) {
    auto file = win32::ownFileHandle(CreateFileW(path.c_str(), GENERIC_READ,
                                                 FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                                 OPEN_EXISTING, 0, nullptr));
    if (!file) {
        return std::nullopt;
    }
    std::string bytes;
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(file.get(), buffer, sizeof buffer, &read, nullptr) && read > 0) {
        bytes.append(buffer, read);
    }
    return bytes;
}

std::optional<std::vector<std::wstring>> AgentMachine::logMessagesAt(const std::wstring& path) {
    const auto bytes = readFile(path);
    if (!bytes) {
        return std::nullopt;
    }
    return fake::messagesOf(win32::ansiToWide(*bytes));
}

std::optional<std::vector<std::wstring>> AgentMachine::exeLogMessages() const {
    return logMessagesAt(exeLogPath());
}

std::optional<std::vector<std::wstring>> AgentMachine::archivedLogMessages() const {
    return logMessagesAt(archivedLogPath());
}

std::optional<std::vector<std::wstring>> AgentMachine::runLogMessages() const {
    auto messages = exeLogMessages();
    return messages ? messages : archivedLogMessages();
}

void AgentMachine::installWebPostDouble(const std::string& script) {
    require(CopyFileW(testhost::pathBesideThisProgram(L"Mavlin.dll").c_str(),
                      (installFolder_ + L"\\Mavlin.dll").c_str(), FALSE),
            "CopyFile");
    writeFile(installFolder_ + L"\\Mavlin.script", script + "\r\n");
}

void AgentMachine::removeWebPostRegistration() {
    RegDeleteTreeW(HKEY_CLASSES_ROOT, L"Mavlin.WebPost");
    for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
        HKEY classes = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Classes\\CLSID", 0, KEY_ALL_ACCESS | view,
                          &classes) == ERROR_SUCCESS) {
            RegDeleteTreeW(classes, kWebPostClsid);
            RegCloseKey(classes);
        }
    }
}

std::optional<std::vector<std::string>> AgentMachine::webPostJournal() const {
    const auto bytes = readFile(installFolder_ + L"\\Mavlin.journal");
    if (!bytes) {
        return std::nullopt;
    }
    return splitLines(*bytes);
}

std::vector<std::wstring> AgentMachine::spooledFiles() const {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW entry{};
    HANDLE search = FindFirstFileW((installFolder_ + L"\\TreskPostLogs\\*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) {
        return names;
    }
    do {
        if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
            names.push_back(entry.cFileName);
        }
    } while (FindNextFileW(search, &entry));
    FindClose(search);
    return names;
}

}  // namespace tavrel::e2e
