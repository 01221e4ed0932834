#include "support/agent_guard.h"

#include <windows.h>

#include "platform/win32/unique_resource.h"

namespace tavrel::testguard {

namespace {

// The agent lives in the 32-bit view; a 64-bit test program writes its own view.
constexpr bool kOwnViewIs64Bit = sizeof(void*) == 8;

struct GuardedKey {
    HKEY root;
    const wchar_t* path;
    const wchar_t* name;
    bool alsoIn64BitView;  // the tests write or delete it there too
};
const GuardedKey kGuardedKeys[] = {
    {HKEY_LOCAL_MACHINE, L"Software\\QUENDA", L"HKLM\\Software\\QUENDA", kOwnViewIs64Bit},
    {HKEY_CLASSES_ROOT, L"Mavlin.WebPost", L"HKCR\\Mavlin.WebPost", kOwnViewIs64Bit},
    {HKEY_LOCAL_MACHINE, kWebPostClassKey,
     L"HKLM\\Software\\Classes\\CLSID\\{8A1CC926-0601-4B2B-8E6D-EA4C74A2DFB6}", true},
};

}  // namespace

std::optional<std::wstring> findAgentStateNotMadeByTests() {
    for (const GuardedKey& guarded : kGuardedKeys) {
        for (const REGSAM view : {REGSAM{KEY_WOW64_32KEY}, REGSAM{KEY_WOW64_64KEY}}) {
            if (view == KEY_WOW64_64KEY && !guarded.alsoIn64BitView) {
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
