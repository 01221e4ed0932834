// The end of the process, from whichever way it comes: the claim, the last words, the
// release of the run's own end and the termination.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <utility>

#include "platform/host.h"
#include "platform/win32/unique_resource.h"

namespace tavrel::win32 {

/// Has a fault that nothing handles, on any thread, go to `filter`, with no dialog of the
/// system's or the C runtime's: nobody answers one in a windowless process, and error
/// reporting may hold the process while it collects. Never throws.
void sendFaultsTo(LPTOP_LEVEL_EXCEPTION_FILTER filter);

// Lives until the process ends: the watchdog, the fault filter and the speaker use it
// to the last.
class RunEnd {
  public:
    RunEnd() = default;
    RunEnd(const RunEnd&) = delete;
    RunEnd& operator=(const RunEnd&) = delete;

    void endFaultsWith(std::uint32_t status);
    void guardRun(RunGuard guard);
    void setReleaseAtEnd(std::function<void()> release) { releaseAtEnd_ = std::move(release); }

    /// The run's own end: the end's report, the release, then the end with the
    /// claimed status.
    [[noreturn]] void endRun(std::uint32_t status);

    /// Has every end of the run end this process too (nullptr: none), for a child that
    /// could not have a job of its own to end it with the run. Never throws.
    void endAlongWith(HANDLE process) { endAlongWith_ = process; }

  private:
    enum class Ending : LONG { OwnEnd, TimeLimit, Fault };

    static DWORD WINAPI watchTheTimeLimit(void* end);
    static DWORD WINAPI speakTheLastWords(void* end);
    static LONG WINAPI endOnFault(EXCEPTION_POINTERS* fault);

    [[noreturn]] void endWith(Ending ending, std::uint32_t status, std::uint32_t faultCode = 0);
    std::uint32_t claimedStatus() const;
    [[noreturn]] void terminateWithClaimedStatus() const;

    RunGuard guard_;
    std::function<void()> releaseAtEnd_;
    std::uint32_t faultStatus_ = 0;
    UniqueHandle watchdog_;
    // The last words are said on a thread started with the run, which waits for them:
    // a thread started at the end would wait for the loader lock that a library stuck
    // in its start-up holds.
    UniqueHandle speaker_;
    UniqueHandle speak_;
    UniqueHandle spoken_;
    HANDLE volatile endAlongWith_ = nullptr;

    // Zero until the end is claimed, then the claimed status plus one; the ending and
    // the fault's code are set by the claimant before it wakes the speaker.
    volatile LONG claimedStatusPlusOne_ = 0;
    Ending ending_ = Ending::OwnEnd;
    std::uint32_t faultCode_ = 0;
};

}  // namespace tavrel::win32
