// Every Windows failure becomes the program's Error here, in one place.
#pragma once

#include <windows.h>

#include <string>

#include "platform/error.h"

namespace tavrel::win32 {

/// The system's description of a Windows error code, without its trailing line break;
/// empty when the system has none.
std::wstring systemMessageOrEmpty(DWORD code);

/// As systemMessageOrEmpty, with a plain text naming the code when the system has none.
std::wstring systemMessage(DWORD code);

/// The Error for a Windows error code: common file errors get the program's own
/// numbers, everything else its HRESULT form; the description is the system's.
Error errorFromWin32(DWORD code);

/// Throws the Error for GetLastError().
[[noreturn]] void throwLastError();

}  // namespace tavrel::win32
