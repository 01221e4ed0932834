// The host process: the single-instance test, where the executable lives, the run's
// time limit, its faults, and the end.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>

#include "platform/lock.h"

namespace tavrel {

/// How long the last words and the end's report may take, together, once the end is
/// claimed; past it the process ends without them.
inline constexpr std::uint32_t kLastWordsMilliseconds = 3000;
/// How long last words wait for a lock the run may hold (the log's, say): a third of
/// their time, so a line and the report still fit after the wait.
inline constexpr std::uint32_t kLastWordsLockWaitMilliseconds = kLastWordsMilliseconds / 3;

class Host {
  public:
    virtual ~Host() = default;

    /// True when another copy of this program is running. Throws Error when the
    /// test itself cannot be made.
    virtual bool previousInstanceRunning() = 0;

    /// The folder that holds the running executable, without a trailing backslash
    /// (except for a drive root, "C:\"). Throws Error when it cannot be read.
    virtual std::wstring executableFolder() = 0;

    // The end of the process is claimed once: by the run's own end, by the watchdog or
    // by a fault, whichever comes first. The claim stores its status, and the process
    // ends with that status whatever happens after it. Last words (the caller's own,
    // a line to a file, say) and the end's report together get kLastWordsMilliseconds
    // at most, so a write that hangs cannot hold the end.

    /// Starts the watchdog, one of the run's two other threads (the speaker of last
    /// words is the other). Once `seconds` have passed it claims the end with `status`, has
    /// lastWords say why and ends the process, wherever the run is. When the end was claimed
    /// already but the process still lives (a library's unload that never returns, say), it
    /// ends the process with the claimed status. lastWords must not throw. A watchdog that cannot
    /// be started leaves the run unbounded; never throws.
    virtual void startWatchdog(std::uint32_t seconds, std::uint32_t status,
                               std::function<void()> lastWords) = 0;

    /// Turns off the system's fault dialogs and has a fault that nothing handles, on
    /// any thread, end the process: it claims the end with `status`, has
    /// lastWords(faultCode) say why and ends the process. Once the end is claimed, a
    /// fault says nothing and ends the process with the claimed status. A C++
    /// exception that escapes every handler ends it the same way, as a fault with the
    /// code of a fatal application exit (0x40000015).
    /// lastWords may be empty, and must not throw; a later call replaces an earlier
    /// one's. Never throws.
    virtual void endFaultsWith(std::uint32_t status,
                               std::function<void(std::uint32_t faultCode)> lastWords) = 0;

    /// Registers what the run's own end does once it has claimed the end and reported
    /// it: release the objects of the libraries the run loaded and leave COM, so that
    /// the libraries unload while the watchdog still bounds the time. Must not throw.
    virtual void setReleaseAtEnd(std::function<void()> release) = 0;

    /// Registers the end's report: whichever end claims the process, report(status)
    /// runs once, with the claimed status, after the last words and within their
    /// bound. It must not throw; one that hangs is cut off with the process. Never
    /// throws.
    virtual void setEndReport(std::function<void(std::uint32_t status)> report) = 0;

    /// A lock between the run's threads. One that the system cannot make never
    /// blocks and never lets tryAcquire succeed. Never throws but for memory.
    virtual std::unique_ptr<Lock> createLock() = 0;

    /// Ends the process with the given status: claims the end, has the end reported,
    /// runs the release given to setReleaseAtEnd and ends; what was written to files
    /// stays there. When the end was claimed already, the claimed status is used.
    /// Never returns, and no trap of the program may stop it.
    [[noreturn]] void endProcessNow(std::uint32_t status) {
        endProcess(status);
        std::terminate();  // an implementation that came back would break every caller
    }

  private:
    /// Ends the process (or, in tests, unwinds to the test) without coming back.
    virtual void endProcess(std::uint32_t status) = 0;
};

}  // namespace tavrel
