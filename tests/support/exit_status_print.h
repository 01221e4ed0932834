// Exit statuses printed by number in test failures.
#pragma once

#include <ostream>

#include "context/exit_status.h"

namespace tavrel {

inline void PrintTo(ExitStatus status, std::ostream* out) {
    *out << "status " << static_cast<unsigned>(status);
}

}  // namespace tavrel
