// Everything the program asks of the operating system, in one place.
#pragma once

#include "platform/automation.h"
#include "platform/clock.h"
#include "platform/event_log.h"
#include "platform/file_system.h"
#include "platform/host.h"
#include "platform/profile.h"
#include "platform/registry.h"
#include "platform/system.h"
#include "platform/wmi.h"

namespace tavrel {

struct Platform {
    Host& host;
    Registry& registry;
    FileSystemFactory& fileSystems;
    Clock& clock;
    ProfileReader& profiles;
    System& system;
    Wmi& wmi;
    Automation& automation;
    EventLog& eventLog;
};

}  // namespace tavrel
