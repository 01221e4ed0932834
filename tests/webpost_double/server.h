// What the object needs from the DLL around it.
#pragma once

#include <string>

namespace tavrel::webpost {

/// Live objects and client locks keep the DLL loaded; DllCanUnloadNow asks for the count.
void lockServer();
void unlockServer();

/// The folder the DLL was loaded from, without a trailing backslash: the script and the
/// journal lie there.
std::wstring serverFolder();

}  // namespace tavrel::webpost
