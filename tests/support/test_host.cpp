#include "support/test_host.h"

#include <windows.h>

#include <string>

#include "platform/win32/win32_host.h"

namespace tavrel::testhost {

std::wstring pathBesideThisProgram(const std::wstring& name) {
    // The program's own folder, as the program under test finds it.
    return win32::Win32Host().executableFolder() + L"\\" + name;
}

bool runsUnderWine() {
    return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

}  // namespace tavrel::testhost
