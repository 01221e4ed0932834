#pragma once

#include <string>

#include "platform/host.h"
#include "platform/win32/unique_resource.h"

namespace tavrel::win32 {

class Win32Host : public Host {
  public:
    bool previousInstanceRunning() override;
    std::wstring executableFolder() override;

  private:
    void endProcess() override;

    // Held for the life of the process, so later copies see this one.
    UniqueHandle instanceMutex_;
};

}  // namespace tavrel::win32
