#include "platform/win32/win32_system.h"

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win32/ansi_text.h"
#include "platform/win32/unique_resource.h"
#include "platform/win32/win32_error.h"

namespace tavrel::win32 {

std::wstring systemFolder() {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const UINT length = GetSystemDirectoryW(buffer.data(), static_cast<UINT>(buffer.size()));
        if (length == 0) {
            throwLastError();
        }
        if (length < buffer.size()) {
            return std::wstring(buffer.data(), length);
        }
        buffer.resize(length + 1);
    }
}

WindowsDirectory Win32System::windowsDirectory(std::uint32_t bufferSize) {
    std::vector<char> buffer(bufferSize, '\0');
    WindowsDirectory result;
    result.length = GetWindowsDirectoryA(buffer.data(), bufferSize);
    result.buffer = ansiToWide(std::string_view(buffer.data(), buffer.size()));
    return result;
}

std::uint64_t Win32System::tickCount() {
    return GetTickCount64();
}

std::wstring Win32System::toUpperInvariant(const std::wstring& text) {
    if (text.empty()) {
        return text;
    }
    const int length = checkedLength(text.size());
    const int needed = LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, text.data(), length,
                                     nullptr, 0, nullptr, nullptr, 0);
    if (needed <= 0) {
        throwLastError();
    }
    std::wstring upper(static_cast<std::size_t>(needed), L'\0');
    if (LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, text.data(), length, upper.data(),
                      needed, nullptr, nullptr, 0) != needed) {
        throwLastError();
    }
    return upper;
}

std::wstring Win32System::expandEnvironmentStrings(const std::wstring& text) {
    std::wstring expanded(text.size() + 1, L'\0');
    for (;;) {
        const DWORD length = ExpandEnvironmentStringsW(text.c_str(), expanded.data(),
                                                       static_cast<DWORD>(expanded.size()));
        if (length == 0) {
            throwLastError();
        }
        if (length <= expanded.size()) {
            expanded.resize(length - 1);
            return expanded;
        }
        expanded.resize(length);
    }
}

void Win32System::startSystemProgramHidden(const std::wstring& programName,
                                           const std::wstring& commandLine) {
    // By its full path only: a program of that name planted in our own folder, the
    // working folder or the search path would otherwise run with the agent's rights.
    // In that folder too, so that nothing it loads is found in ours.
    const std::wstring folder = systemFolder();
    const std::wstring application = folder + L"\\" + programName;
    std::wstring mutableCommandLine = commandLine;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(application.c_str(), mutableCommandLine.data(), nullptr, nullptr, FALSE, 0,
                        nullptr, folder.c_str(), &startup, &process)) {
        throwLastError();
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
}

void Win32System::sleep(std::uint32_t milliseconds) {
    Sleep(milliseconds);
}

}  // namespace tavrel::win32
