// Everything the program asks of the operating system, in one place.
#pragma once

#include "platform/clock.h"
#include "platform/file_system.h"
#include "platform/host.h"
#include "platform/profile.h"
#include "platform/registry.h"

namespace tavrel {

struct Platform {
    Host& host;
    Registry& registry;
    FileSystemFactory& fileSystems;
    Clock& clock;
    ProfileReader& profiles;
};

}  // namespace tavrel
