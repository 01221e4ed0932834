#include "platform/win32/win32_clock.h"

#include <windows.h>

#include <cstddef>
#include <string>

namespace tavrel::win32 {

LocalTime Win32Clock::now() {
    SYSTEMTIME time{};
    GetLocalTime(&time);
    return LocalTime{time.wYear, time.wMonth, time.wDay, time.wHour, time.wMinute, time.wSecond};
}

std::wstring Win32Clock::timeSeparator() {
    wchar_t buffer[8] = {};
    const int length = GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_STIME, buffer, 8);
    if (length <= 1) {
        return L":";
    }
    return std::wstring(buffer, static_cast<std::size_t>(length - 1));
}

}  // namespace tavrel::win32
