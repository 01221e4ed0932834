#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/host.h"
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

// Lives until the process ends: the watchdog, the fault filter and the last words use
// it to the last.
class Win32Host : public Host {
  public:
    bool previousInstanceRunning() override;
    std::wstring executableFolder() override;
    void startWatchdog(std::uint32_t seconds, std::uint32_t status,
                       std::function<void()> lastWords) override;
    void endFaultsWith(std::uint32_t status,
                       std::function<void(std::uint32_t faultCode)> lastWords) override;
    void setReleaseAtEnd(std::function<void()> release) override;
    void setEndReport(std::function<void(std::uint32_t status)> report) override;
    std::unique_ptr<Lock> createLock() override;

    /// Has every end of the run end this process too (nullptr: none), for a child that
    /// could not have a job of its own to end it with the run. Never throws.
    void endAlongWith(HANDLE process);

  private:
    enum class LastWords : LONG { None, TimeLimit, Fault };

    void endProcess(std::uint32_t status) override;

    static DWORD WINAPI waitForTheTimeLimit(void* host);
    static DWORD WINAPI sayLastWords(void* host);
    static LONG WINAPI endOnFault(EXCEPTION_POINTERS* fault);

    bool claimEnd(std::uint32_t status);
    std::uint32_t claimedStatus() const;
    void startSpeaker();
    [[noreturn]] void endAfter(LastWords words, std::uint32_t status);
    void speakLastWords(LastWords words);
    [[noreturn]] void endWithClaimedStatus() const;
    void endTheChild(std::uint32_t status) const;

    // Held for the life of the process, so later copies see this one.
    UniqueHandle instanceMutex_;
    UniqueHandle watchdog_;
    DWORD limitMilliseconds_ = 0;
    std::uint32_t limitStatus_ = 0;
    std::function<void()> timeLimitWords_;

    std::uint32_t faultStatus_ = 0;
    std::function<void(std::uint32_t)> faultWords_;
    volatile LONG faultCode_ = 0;
    HANDLE volatile endAlongWith_ = nullptr;

    std::function<void()> releaseAtEnd_;
    std::function<void(std::uint32_t)> endReport_;

    // The last words are said on a thread started with the run, which waits for them:
    // a thread started at the end would wait for the loader lock that a library stuck
    // in its start-up holds.
    UniqueHandle speaker_;
    UniqueHandle speak_;
    UniqueHandle spoken_;
    volatile LONG lastWords_ = static_cast<LONG>(LastWords::None);

    // Zero until the end is claimed, then the claimed status plus one.
    volatile LONG claimedStatusPlusOne_ = 0;
};

}  // namespace tavrel::win32
