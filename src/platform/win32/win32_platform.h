// The real operating system behind the seam.
#pragma once

#include "platform/platform.h"
#include "platform/win32/win32_clock.h"
#include "platform/win32/win32_file_system.h"
#include "platform/win32/win32_host.h"
#include "platform/win32/win32_profile.h"
#include "platform/win32/win32_registry.h"

namespace tavrel::win32 {

struct Win32Platform {
    Win32Host host;
    Win32Registry registry;
    Win32FileSystemFactory fileSystems;
    Win32Clock clock;
    Win32ProfileReader profiles;

    Platform view() { return Platform{host, registry, fileSystems, clock, profiles}; }
};

}  // namespace tavrel::win32
