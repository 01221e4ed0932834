// The harness on a machine where an agent has its key or its web-post registration: it
// refuses before it changes anything, and takes only the tests' own leftovers for theirs.
// A system registration a test takes away comes back as it was, security and all.
#include <windows.h>

#include <gtest/gtest.h>
#include <sddl.h>

#include <cwchar>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>

#include "platform/win32/unique_resource.h"
#include "support/agent_guard.h"
#include "support/e2e_harness.h"
#include "support/saved_registry_key.h"

namespace tavrel::e2e {
namespace {

struct FoundKey {
    const char* situation;
    HKEY root;
    const wchar_t* path;
    REGSAM view;
    const wchar_t* owner;      // the agent's value, or the tests' marker
    const char* refusalNames;  // nullptr: the harness goes ahead and removes the key
};

// Made with one value and removed again, whatever the harness did with it.
class ScratchKey {
  public:
    explicit ScratchKey(const FoundKey& found) : found_(found) {
        HKEY key = nullptr;
        RegCreateKeyExW(found.root, found.path, 0, nullptr, 0, KEY_ALL_ACCESS | found.view, nullptr,
                        &key, nullptr);
        RegSetValueExW(key, found.owner, 0, REG_SZ, reinterpret_cast<const BYTE*>(L"x"),
                       sizeof L"x");
        RegCloseKey(key);
    }
    ~ScratchKey() { RegDeleteKeyExW(found_.root, found_.path, found_.view, 0); }

    // How many values it holds; nothing when the key is gone.
    std::optional<DWORD> valueCount() const {
        HKEY opened = nullptr;
        if (RegOpenKeyExW(found_.root, found_.path, 0, KEY_READ | found_.view, &opened) !=
            ERROR_SUCCESS) {
            return std::nullopt;
        }
        const win32::UniqueKey key(opened);
        DWORD values = 0;
        RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values,
                         nullptr, nullptr, nullptr, nullptr);
        return values;
    }

  private:
    FoundKey found_;
};

TEST(HarnessGuard, RefusesAnAgentsKeysUntouchedAndRemovesOnlyItsOwnLeftovers) {
    const HKEY machine = HKEY_LOCAL_MACHINE;
    const FoundKey cases[] = {
        {"agent key", machine, L"Software\\QUENDA", 0, L"MEMBERID", "HKLM\\Software\\QUENDA"},
        {"agent key, 32-bit view", machine, L"Software\\QUENDA", KEY_WOW64_32KEY, L"MEMBERID",
         "HKLM\\Software\\QUENDA (32-bit view)"},
        {"registration", HKEY_CLASSES_ROOT, L"Mavlin.WebPost", 0, L"", "HKCR\\Mavlin.WebPost"},
        {"the library's class, 32-bit view", machine, testguard::kWebPostClassKey, KEY_WOW64_32KEY,
         L"", "CLSID\\{8A1CC926-0601-4B2B-8E6D-EA4C74A2DFB6} (32-bit view)"},
        {"the library's class, 64-bit view", machine, testguard::kWebPostClassKey, KEY_WOW64_64KEY,
         L"", "CLSID\\{8A1CC926-0601-4B2B-8E6D-EA4C74A2DFB6} (64-bit view)"},
        {"the double's class, left over", machine, testguard::kWebPostClassKey, KEY_WOW64_32KEY,
         testguard::kMadeByTestsValue, nullptr},
        {"leftover", machine, L"Software\\QUENDA", 0, testguard::kMadeByTestsValue, nullptr},
    };
    for (const FoundKey& c : cases) {
        SCOPED_TRACE(c.situation);
        const ScratchKey key(c);
        const DWORD scenariosBefore = GetFileAttributesW(L"C:\\Tavrel E2E");

        std::string refusal;
        try {
            AgentMachine scenario(L"guard");
        } catch (const std::runtime_error& error) {
            refusal = error.what();
        }

        if (c.refusalNames != nullptr) {
            EXPECT_NE(refusal.find(c.refusalNames), std::string::npos) << refusal;
            EXPECT_EQ(key.valueCount(), DWORD{1});  // the owner's value alone, untouched
            EXPECT_EQ(GetFileAttributesW(L"C:\\Tavrel E2E"), scenariosBefore);
        } else {
            EXPECT_EQ(refusal, "");
            EXPECT_FALSE(key.valueCount());
        }
    }
}

constexpr const wchar_t* kProbe = L"Tavrel.SavedKeyProbe";
constexpr const wchar_t* kProbeSecurity = L"D:P(A;;KA;;;BA)(A;;KR;;;WD)";

void setText(const std::wstring& path, const wchar_t* name, const wchar_t* text) {
    HKEY key = nullptr;
    RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                    nullptr);
    RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                   static_cast<DWORD>((std::wcslen(text) + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
}

// The probe registration as a system would have it: a value, a subkey, its own access list.
void registerProbe() {
    setText(kProbe, L"", L"probe");
    setText(std::wstring(kProbe) + L"\\CLSID", L"", L"{0}");
    PSECURITY_DESCRIPTOR security = nullptr;
    ConvertStringSecurityDescriptorToSecurityDescriptorW(kProbeSecurity, SDDL_REVISION_1, &security,
                                                         nullptr);
    HKEY key = nullptr;
    RegOpenKeyExW(HKEY_CLASSES_ROOT, kProbe, 0, KEY_ALL_ACCESS, &key);
    RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, security);
    RegCloseKey(key);
    LocalFree(security);
}

// The key's values, subkeys and access list in one line; empty when it is gone.
std::wstring describe(HKEY parent, const std::wstring& path) {
    HKEY opened = nullptr;
    if (RegOpenKeyExW(parent, path.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) {
        return L"";
    }
    const win32::UniqueKey key(opened);
    std::wstring text = L"[";
    wchar_t name[256];
    wchar_t data[256];
    for (DWORD i = 0;; ++i) {
        DWORD nameLength = 256;
        DWORD size = sizeof data;
        if (RegEnumValueW(key.get(), i, name, &nameLength, nullptr, nullptr,
                          reinterpret_cast<BYTE*>(data), &size) != ERROR_SUCCESS) {
            break;
        }
        text += std::wstring(name) + L"=" + data + L";";
    }
    for (DWORD i = 0;; ++i) {
        DWORD nameLength = 256;
        if (RegEnumKeyExW(key.get(), i, name, &nameLength, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            break;
        }
        text += std::wstring(name) + describe(key.get(), name);
    }
    BYTE security[1024];
    DWORD size = sizeof security;
    wchar_t* sddl = nullptr;
    if (RegGetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, security, &size) == ERROR_SUCCESS &&
        ConvertSecurityDescriptorToStringSecurityDescriptorW(
            security, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &sddl, nullptr)) {
        text += sddl;
        LocalFree(sddl);
    }
    return text + L"]";
}

constexpr const wchar_t* kProbeCopy = L"Software\\Tavrel tests saved key\\Tavrel.SavedKeyProbe";

TEST(HarnessGuard, SavedRegistrationComesBackWithItsSecurityAndNeverLosesItsLastCopy) {
    struct Taken {
        const char* situation;
        // The run before was interrupted after it had deleted the key: its copy is the only
        // one left, and must come back before this run's test begins.
        bool afterAnInterruptedRun;
        std::function<void()> test;  // what the test and the program did to the key
    };
    const auto remove = [] { RegDeleteTreeW(HKEY_CLASSES_ROOT, kProbe); };
    const Taken cases[] = {
        {"deleted", false, remove},
        {"changed", false,
         [] {
             setText(kProbe, L"", L"other");
             setText(kProbe, L"Added", L"x");
             setText(std::wstring(kProbe) + L"\\Extra", L"", L"x");
             RegDeleteTreeW(HKEY_CLASSES_ROOT, (std::wstring(kProbe) + L"\\CLSID").c_str());
         }},
        {"registered again, with the default access list", false,
         [] {
             RegDeleteTreeW(HKEY_CLASSES_ROOT, kProbe);
             setText(kProbe, L"", L"probe");
         }},
        {"deleted, after an interrupted run had deleted it", true, remove},
    };
    for (const Taken& c : cases) {
        SCOPED_TRACE(c.situation);
        registerProbe();
        const std::wstring before = describe(HKEY_CLASSES_ROOT, kProbe);
        ASSERT_NE(before.find(L"(A;;KR;;;WD)"), std::wstring::npos) << before;
        if (c.afterAnInterruptedRun) {
            static_cast<void>(new SavedRegistryKey(HKEY_CLASSES_ROOT, kProbe));  // never ends
            remove();
        }
        {
            const SavedRegistryKey saved(HKEY_CLASSES_ROOT, kProbe);
            EXPECT_EQ(describe(HKEY_CLASSES_ROOT, kProbe), before);
            c.test();
        }
        EXPECT_EQ(describe(HKEY_CLASSES_ROOT, kProbe), before);
        EXPECT_EQ(describe(HKEY_CURRENT_USER, kProbeCopy), L"");
        remove();
        RegDeleteTreeW(HKEY_CURRENT_USER, kProbeCopy);
    }
}

}  // namespace
}  // namespace tavrel::e2e
