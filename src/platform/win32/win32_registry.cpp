#include "platform/win32/win32_registry.h"

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win32/ansi_text.h"

namespace tavrel::win32 {

namespace {

HKEY rootKey(RegistryRoot root) {
    switch (root) {
        case RegistryRoot::ClassesRoot:
            return HKEY_CLASSES_ROOT;
        case RegistryRoot::LocalMachine:
            break;
    }
    return HKEY_LOCAL_MACHINE;
}

}  // namespace

RegistryOpenResult Win32Registry::openKey(RegistryRoot root, const std::wstring& subKey,
                                          std::uint32_t options, std::uint32_t accessMask) {
    const std::string ansiSubKey = wideToAnsi(subKey);
    HKEY key = nullptr;
    // No view flag: a 32-bit process reads the 32-bit view, where the agent keeps its key.
    const LONG result = RegOpenKeyExA(rootKey(root), ansiSubKey.c_str(), options,
                                      static_cast<REGSAM>(accessMask), &key);
    RegistryOpenResult opened;
    opened.resultCode = result;
    opened.key = RegistryKey(this, reinterpret_cast<std::uintptr_t>(key));
    return opened;
}

long Win32Registry::closeKey(std::uintptr_t handle) {
    return RegCloseKey(reinterpret_cast<HKEY>(handle));
}

RegistryValueSize Win32Registry::queryValueSize(std::uintptr_t key, const std::wstring& valueName) {
    const std::string name = wideToAnsi(valueName);
    DWORD type = 0;
    DWORD size = 0;
    RegistryValueSize result;
    result.resultCode =
        RegQueryValueExA(reinterpret_cast<HKEY>(key), name.c_str(), nullptr, &type, nullptr, &size);
    result.type = type;
    result.byteCount = size;
    return result;
}

RegistryValueData Win32Registry::queryValueData(std::uintptr_t key, const std::wstring& valueName,
                                                std::uint32_t byteCount) {
    const std::string name = wideToAnsi(valueName);
    std::vector<char> buffer(byteCount, '\0');
    // A zero-length buffer still needs an address, or the call would only report the size.
    char none = 0;
    char* data = buffer.empty() ? &none : buffer.data();
    DWORD type = 0;
    DWORD size = byteCount;
    RegistryValueData result;
    result.resultCode = RegQueryValueExA(reinterpret_cast<HKEY>(key), name.c_str(), nullptr, &type,
                                         reinterpret_cast<BYTE*>(data), &size);
    if (result.resultCode == ERROR_SUCCESS) {
        result.text = ansiToWide(std::string_view(buffer.data(), buffer.size()));
    }
    return result;
}

}  // namespace tavrel::win32
