#include "platform/win32/win32_registry.h"

#include <windows.h>

#include "platform/win32/ansi_text.h"

namespace tavrel::win32 {

namespace {

HKEY rootKey(RegistryRoot root) {
    switch (root) {
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

}  // namespace tavrel::win32
