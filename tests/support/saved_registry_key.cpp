#include "support/saved_registry_key.h"

#include <stdexcept>
#include <utility>

#include "platform/win32/unique_resource.h"

namespace tavrel::e2e {

namespace {

inline BOOL closeKey(HKEY key) {
    return RegCloseKey(key) == ERROR_SUCCESS;
}
using UniqueKey = win32::UniqueResource<HKEY, &closeKey>;

void require(LONG result, const char* what) {
    if (result != ERROR_SUCCESS) {
        throw std::runtime_error(std::string(what) + " failed, error " + std::to_string(result));
    }
}

SavedRegistryKey::Tree readTree(HKEY key, std::wstring keyName) {
    DWORD subkeyCount = 0, longestSubkey = 0, valueCount = 0, longestName = 0, largestData = 0;
    require(RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeyCount, &longestSubkey, nullptr,
                             &valueCount, &longestName, &largestData, nullptr, nullptr),
            "RegQueryInfoKey");
    SavedRegistryKey::Tree tree{std::move(keyName), {}, {}};
    for (DWORD i = 0; i < valueCount; ++i) {
        std::wstring name(longestName + 1, L'\0');
        DWORD nameLength = longestName + 1;
        SavedRegistryKey::Value value{L"", 0, std::vector<BYTE>(largestData)};
        DWORD size = largestData;
        require(RegEnumValueW(key, i, name.data(), &nameLength, nullptr, &value.type,
                              value.bytes.data(), &size),
                "RegEnumValue");
        name.resize(nameLength);
        value.name = std::move(name);
        value.bytes.resize(size);
        tree.values.push_back(std::move(value));
    }
    for (DWORD i = 0; i < subkeyCount; ++i) {
        std::wstring name(longestSubkey + 1, L'\0');
        DWORD nameLength = longestSubkey + 1;
        require(RegEnumKeyExW(key, i, name.data(), &nameLength, nullptr, nullptr, nullptr, nullptr),
                "RegEnumKeyEx");
        name.resize(nameLength);
        HKEY opened = nullptr;
        require(RegOpenKeyExW(key, name.c_str(), 0, KEY_READ, &opened), "RegOpenKeyEx");
        const UniqueKey subkey(opened);
        tree.subkeys.push_back(readTree(subkey.get(), std::move(name)));
    }
    return tree;
}

// Best effort: it runs from a destructor, and a value more written back is worth more
// than stopping at the first that fails.
void writeTree(HKEY parent, const SavedRegistryKey::Tree& tree) {
    HKEY created = nullptr;
    if (RegCreateKeyExW(parent, tree.name.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &created,
                        nullptr) != ERROR_SUCCESS) {
        return;
    }
    const UniqueKey key(created);
    for (const auto& value : tree.values) {
        RegSetValueExW(key.get(), value.name.c_str(), 0, value.type, value.bytes.data(),
                       static_cast<DWORD>(value.bytes.size()));
    }
    for (const auto& subtree : tree.subkeys) {
        writeTree(key.get(), subtree);
    }
}

}  // namespace

SavedRegistryKey::SavedRegistryKey(HKEY root, std::wstring path)
    : root_(root), path_(std::move(path)) {
    HKEY opened = nullptr;
    require(RegOpenKeyExW(root_, path_.c_str(), 0, KEY_READ, &opened), "RegOpenKeyEx");
    const UniqueKey key(opened);
    saved_ = readTree(key.get(), path_);
}

SavedRegistryKey::~SavedRegistryKey() {
    RegDeleteTreeW(root_, path_.c_str());
    writeTree(root_, saved_);
}

}  // namespace tavrel::e2e
