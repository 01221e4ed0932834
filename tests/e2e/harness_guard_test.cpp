// The harness on a machine where an agent has its key or its web-post registration: it
// refuses before it changes anything, and takes only the tests' own leftovers for theirs.
#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <stdexcept>
#include <string>

#include "platform/win32/unique_resource.h"
#include "support/agent_guard.h"
#include "support/e2e_harness.h"

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

}  // namespace
}  // namespace tavrel::e2e
