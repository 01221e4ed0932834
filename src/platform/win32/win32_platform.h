// The real operating system behind the seam.
#pragma once

#include "platform/child_automation.h"
#include "platform/platform.h"
#include "platform/win32/child_process.h"
#include "platform/win32/win32_automation.h"
#include "platform/win32/win32_clock.h"
#include "platform/win32/win32_event_log.h"
#include "platform/win32/win32_file_system.h"
#include "platform/win32/win32_host.h"
#include "platform/win32/win32_profile.h"
#include "platform/win32/win32_registry.h"
#include "platform/win32/win32_system.h"
#include "platform/win32/win32_wmi.h"

namespace tavrel::win32 {

struct Win32Platform {
    /// childProgId: the class whose objects are made in a child, never in the run.
    explicit Win32Platform(const wchar_t* childProgId)
        : automation{inProcessAutomation, childStarter, childProgId} {}

    Win32Host host;
    Win32Registry registry;
    Win32FileSystemFactory fileSystems;
    Win32Clock clock;
    Win32ProfileReader profiles;
    Win32System system;
    Win32Wmi wmi;
    Win32Automation inProcessAutomation;
    Win32ChildStarter childStarter{host};
    ChildAutomation automation;
    Win32EventLog eventLog;

    Platform view() {
        return Platform{host,   registry, fileSystems, clock,   profiles,
                        system, wmi,      automation,  eventLog};
    }
};

}  // namespace tavrel::win32
