#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "platform/host.h"
#include "platform/win32/run_end.h"
#include "platform/win32/unique_resource.h"

namespace tavrel::win32 {

/// The running executable's full path. Throws Error.
std::wstring executablePath();

// A mutex of this process. Held by a thread that ends, it passes to the next waiter.
class Win32Lock : public Lock {
  public:
    Win32Lock();
    void acquire() override;
    bool tryAcquire(std::uint32_t milliseconds) override;
    void release() override;

  private:
    UniqueHandle mutex_;
};

// Lives until the process ends: the watchdog, the fault filter and the speaker use its
// end to the last.
class Win32Host : public Host {
  public:
    bool previousInstanceRunning() override;
    std::wstring executableFolder() override;
    void endFaultsWith(std::uint32_t status) override { end_.endFaultsWith(status); }
    void guardRun(RunGuard guard) override { end_.guardRun(std::move(guard)); }
    void setReleaseAtEnd(std::function<void()> release) override {
        end_.setReleaseAtEnd(std::move(release));
    }
    std::unique_ptr<Lock> createLock() override;

    /// Has every end of the run end this process too (nullptr: none), for a child that
    /// could not have a job of its own to end it with the run. Never throws.
    void endAlongWith(HANDLE process) { end_.endAlongWith(process); }

  private:
    void endProcess(std::uint32_t status) override { end_.endRun(status); }

    // Held for the life of the process, so later copies see this one.
    UniqueHandle instanceMutex_;
    RunEnd end_;
};

}  // namespace tavrel::win32
