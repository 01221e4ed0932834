// What the object needs from the DLL around it.
#pragma once

#include <cstdint>
#include <string>

namespace tavrel::webpost {

/// Live objects and client locks keep the DLL loaded; DllCanUnloadNow asks for the count.
void lockServer();
void unlockServer();

/// Has the DLL's process-detach notification wait that long: a library that holds its
/// unload. Only a process that called the object arms it, so regsvr32 never waits.
void holdUnload(std::uint32_t milliseconds);

/// The folder the DLL was loaded from, without a trailing backslash: the script and the
/// journal lie there.
std::wstring serverFolder();

}  // namespace tavrel::webpost
