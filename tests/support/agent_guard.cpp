#include "support/agent_guard.h"

#include <windows.h>

#include "platform/win32/unique_resource.h"

namespace tavrel::testguard {

namespace {

struct GuardedKey {
    HKEY root;
    const wchar_t* path;
    const wchar_t* name;
};
const GuardedKey kGuardedKeys[] = {
    {HKEY_LOCAL_MACHINE, L"Software\\QUENDA", L"HKLM\\Software\\QUENDA"},
    {HKEY_CLASSES_ROOT, L"Mavlin.WebPost", L"HKCR\\Mavlin.WebPost"},
};

}  // namespace

std::optional<std::wstring> findAgentStateNotMadeByTests() {
    // The agent lives in the 32-bit view; a 64-bit test program writes its own view.
    constexpr bool ownViewIs64Bit = sizeof(void*) == 8;
    for (const GuardedKey& guarded : kGuardedKeys) {
        for (const REGSAM view : {REGSAM{KEY_WOW64_32KEY}, REGSAM{KEY_WOW64_64KEY}}) {
            if (view == KEY_WOW64_64KEY && !ownViewIs64Bit) {
                continue;
            }
            HKEY opened = nullptr;
            const LONG result =
                RegOpenKeyExW(guarded.root, guarded.path, 0, KEY_QUERY_VALUE | view, &opened);
            if (result == ERROR_FILE_NOT_FOUND) {
                continue;
            }
            std::wstring found = std::wstring(guarded.name) +
                                 (view == KEY_WOW64_32KEY ? L" (32-bit view)" : L" (64-bit view)");
            if (result != ERROR_SUCCESS) {
                return found + L", which cannot be read (error " + std::to_wstring(result) + L")";
            }
            const win32::UniqueKey key(opened);
            if (RegQueryValueExW(key.get(), kMadeByTestsValue, nullptr, nullptr, nullptr,
                                 nullptr) != ERROR_SUCCESS) {
                return found;
            }
        }
    }
    return std::nullopt;
}

}  // namespace tavrel::testguard
