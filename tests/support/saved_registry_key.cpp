#include "support/saved_registry_key.h"

#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "platform/win32/unique_resource.h"

namespace tavrel::e2e {

namespace {

// Each key's copy lies under kHolders\<the key's path>: its tree in kTree, beside it the
// key's security descriptor in the value kSecurity, written last, so that a holder
// without it is a copy that never finished, made while the key itself was untouched.
constexpr const wchar_t* kHolders = L"Software\\Tavrel tests saved key";
constexpr const wchar_t* kTree = L"\\Key";
constexpr const wchar_t* kSecurity = L"Security";
constexpr SECURITY_INFORMATION kKeptSecurity =
    OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;

void check(LONG result, const char* what) {
    if (result != ERROR_SUCCESS) {
        throw std::runtime_error(std::string(what) + " failed, error " + std::to_string(result));
    }
}

win32::UniqueKey openKey(HKEY root, const std::wstring& path, REGSAM access) {
    HKEY key = nullptr;
    check(RegOpenKeyExW(root, path.c_str(), 0, access, &key), "RegOpenKeyEx");
    return win32::UniqueKey(key);
}

win32::UniqueKey createKey(HKEY root, const std::wstring& path, REGSAM access) {
    HKEY key = nullptr;
    check(RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, access, nullptr, &key, nullptr),
          "RegCreateKeyEx");
    return win32::UniqueKey(key);
}

std::vector<BYTE> readSecurity(HKEY key) {
    DWORD size = 0;
    LONG result = RegGetKeySecurity(key, kKeptSecurity, nullptr, &size);
    std::vector<BYTE> descriptor(size);
    if (result == ERROR_INSUFFICIENT_BUFFER) {
        result = RegGetKeySecurity(key, kKeptSecurity, descriptor.data(), &size);
    }
    check(result, "RegGetKeySecurity");
    return descriptor;
}

std::vector<BYTE> readSavedSecurity(HKEY holder) {
    DWORD size = 0;
    check(RegQueryValueExW(holder, kSecurity, nullptr, nullptr, nullptr, &size), "RegQueryValueEx");
    std::vector<BYTE> descriptor(size);
    check(RegQueryValueExW(holder, kSecurity, nullptr, nullptr, descriptor.data(), &size),
          "RegQueryValueEx");
    return descriptor;
}

// The names of a key's values or of its subkeys.
std::vector<std::wstring> namesIn(HKEY key, bool subkeys) {
    std::vector<std::wstring> names;
    for (DWORD index = 0;; ++index) {
        wchar_t name[16384];
        DWORD length = sizeof name / sizeof name[0];
        const LONG result =
            subkeys ? RegEnumKeyExW(key, index, name, &length, nullptr, nullptr, nullptr, nullptr)
                    : RegEnumValueW(key, index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (result == ERROR_NO_MORE_ITEMS) {
            return names;
        }
        check(result, subkeys ? "RegEnumKeyEx" : "RegEnumValue");
        names.emplace_back(name, length);
    }
}

// Removes from `live` every value and subkey that `copy` has not, all the way down.
void removeWhatTheCopyLacks(HKEY live, HKEY copy) {
    for (const std::wstring& name : namesIn(live, false)) {
        if (RegQueryValueExW(copy, name.c_str(), nullptr, nullptr, nullptr, nullptr) ==
            ERROR_FILE_NOT_FOUND) {
            check(RegDeleteValueW(live, name.c_str()), "RegDeleteValue");
        }
    }
    for (const std::wstring& name : namesIn(live, true)) {
        HKEY copied = nullptr;
        const LONG result = RegOpenKeyExW(copy, name.c_str(), 0, KEY_READ, &copied);
        if (result == ERROR_FILE_NOT_FOUND) {
            check(RegDeleteTreeW(live, name.c_str()), "RegDeleteTree");
            continue;
        }
        check(result, "RegOpenKeyEx");
        const win32::UniqueKey copiedKey(copied);
        removeWhatTheCopyLacks(openKey(live, name, KEY_ALL_ACCESS).get(), copiedKey.get());
    }
}

bool holdsFinishedCopy(const std::wstring& holderPath) {
    HKEY holder = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, holderPath.c_str(), 0, KEY_QUERY_VALUE, &holder) !=
        ERROR_SUCCESS) {
        return false;
    }
    const win32::UniqueKey holderKey(holder);
    return RegQueryValueExW(holderKey.get(), kSecurity, nullptr, nullptr, nullptr, nullptr) ==
           ERROR_SUCCESS;
}

}  // namespace

SavedRegistryKey::SavedRegistryKey(HKEY root, std::wstring path)
    : root_(root), path_(std::move(path)), holder_(std::wstring(kHolders) + L"\\" + path_) {
    if (holdsFinishedCopy(holder_)) {
        restore();  // an interrupted run's copy: the key as it is now may not be the system's
        return;
    }
    RegDeleteTreeW(HKEY_CURRENT_USER, holder_.c_str());  // unfinished, or none at all
    const win32::UniqueKey live = openKey(root_, path_, KEY_READ);
    const std::vector<BYTE> security = readSecurity(live.get());
    check(RegCopyTreeW(live.get(), nullptr,
                       createKey(HKEY_CURRENT_USER, holder_ + kTree, KEY_ALL_ACCESS).get()),
          "RegCopyTree");
    check(RegSetValueExW(openKey(HKEY_CURRENT_USER, holder_, KEY_SET_VALUE).get(), kSecurity, 0,
                         REG_BINARY, security.data(), static_cast<DWORD>(security.size())),
          "RegSetValueEx");
}

// Best effort, from a destructor: a copy that cannot be written back stays where it is,
// for the next run to write back.
SavedRegistryKey::~SavedRegistryKey() {
    try {
        restore();
        RegDeleteTreeW(HKEY_CURRENT_USER, holder_.c_str());
        RegDeleteKeyW(HKEY_CURRENT_USER, kHolders);  // fails, rightly, while another copy is there
    } catch (const std::runtime_error&) {
    }
}

void SavedRegistryKey::restore() const {
    const win32::UniqueKey holder = openKey(HKEY_CURRENT_USER, holder_, KEY_QUERY_VALUE);
    const win32::UniqueKey copy = openKey(HKEY_CURRENT_USER, holder_ + kTree, KEY_READ);
    std::vector<BYTE> security = readSavedSecurity(holder.get());
    const win32::UniqueKey live = createKey(root_, path_, KEY_ALL_ACCESS);
    check(RegCopyTreeW(copy.get(), nullptr, live.get()), "RegCopyTree");
    removeWhatTheCopyLacks(live.get(), copy.get());
    if (readSecurity(live.get()) == security) {
        return;  // never taken away: no need of the right to give it
    }
    // The owner is only for a caller allowed to give it; the access list is never skipped.
    if (RegSetKeySecurity(live.get(), kKeptSecurity, security.data()) != ERROR_SUCCESS) {
        check(RegSetKeySecurity(live.get(), DACL_SECURITY_INFORMATION, security.data()),
              "RegSetKeySecurity");
    }
}

}  // namespace tavrel::e2e
