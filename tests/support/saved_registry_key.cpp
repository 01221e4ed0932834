#include "support/saved_registry_key.h"

#include <stdexcept>
#include <string>
#include <utility>

#include "platform/win32/unique_resource.h"

namespace tavrel::e2e {

namespace {

constexpr const wchar_t* kCopy = L"Software\\Tavrel tests saved key";

win32::UniqueKey createKey(HKEY root, const std::wstring& path) {
    HKEY key = nullptr;
    const LONG result =
        RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    if (result != ERROR_SUCCESS) {
        throw std::runtime_error("RegCreateKeyEx failed, error " + std::to_string(result));
    }
    return win32::UniqueKey(key);
}

void copyTree(HKEY fromRoot, const std::wstring& from, HKEY toRoot, const std::wstring& to) {
    HKEY source = nullptr;
    LONG result = RegOpenKeyExW(fromRoot, from.c_str(), 0, KEY_READ, &source);
    const win32::UniqueKey sourceKey(source);
    if (result == ERROR_SUCCESS) {
        result = RegCopyTreeW(sourceKey.get(), nullptr, createKey(toRoot, to).get());
    }
    if (result != ERROR_SUCCESS) {
        throw std::runtime_error("copying a registry key failed, error " + std::to_string(result));
    }
}

}  // namespace

SavedRegistryKey::SavedRegistryKey(HKEY root, std::wstring path)
    : root_(root), path_(std::move(path)) {
    RegDeleteTreeW(HKEY_CURRENT_USER, kCopy);  // an interrupted run's
    copyTree(root_, path_, HKEY_CURRENT_USER, kCopy);
}

// Best effort, from a destructor: a copy that cannot be written back stays where it is.
SavedRegistryKey::~SavedRegistryKey() {
    RegDeleteTreeW(root_, path_.c_str());
    try {
        copyTree(HKEY_CURRENT_USER, kCopy, root_, path_);
        RegDeleteTreeW(HKEY_CURRENT_USER, kCopy);
    } catch (const std::runtime_error&) {
    }
}

}  // namespace tavrel::e2e
