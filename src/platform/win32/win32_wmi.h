#pragma once

#include <memory>

#include "platform/wmi.h"

namespace tavrel::win32 {

// WMI through its scripting objects (the winmgmts moniker and SWbemLocator), all
// late-bound, as the uptime query has always reached it.
class Win32Wmi : public Wmi {
  public:
    std::unique_ptr<WmiSession> openSession() override;
};

}  // namespace tavrel::win32
