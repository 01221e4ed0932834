// The name every copy of the program claims, across sessions, to find a running copy.
#pragma once

namespace tavrel::win32 {

inline constexpr const wchar_t* kSingleInstanceMutexName = L"Global\\Tavrel.SingleInstance";

}  // namespace tavrel::win32
