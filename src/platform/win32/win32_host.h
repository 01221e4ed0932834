#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

#include "platform/host.h"
#include "platform/win32/unique_resource.h"

namespace tavrel::win32 {

// Lives until the process ends: the watchdog thread uses it to the last.
class Win32Host : public Host {
  public:
    Win32Host();

    bool previousInstanceRunning() override;
    std::wstring executableFolder() override;
    void startWatchdog(std::uint32_t seconds, std::function<void()> atLimit) override;
    void lockLog() override;
    bool tryLockLog(std::uint32_t milliseconds) override;
    void unlockLog() override;

  private:
    void endProcess(ExitStatus status) override;

    static DWORD WINAPI watch(void* host);
    bool claimEnd(ExitStatus status);

    // Held for the life of the process, so later copies see this one.
    UniqueHandle instanceMutex_;
    UniqueHandle logMutex_;
    UniqueHandle watchdog_;
    DWORD limitMilliseconds_ = 0;
    std::function<void()> atLimit_;
    // Zero until the run or the watchdog claims the end of the process.
    volatile LONG endClaimed_ = 0;
};

}  // namespace tavrel::win32
