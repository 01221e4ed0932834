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

/// How long the last words (a stop line and the end's report) may take once the end is
/// claimed; past it the process ends without them.
inline constexpr std::uint32_t kLastWordsMilliseconds = 3000;
/// How long last words wait for the log's lock, which the run may hold inside a slow
/// write: a third of their time, so the line and the report still fit after the wait.
inline constexpr std::uint32_t kLastWordsLockWaitMilliseconds = kLastWordsMilliseconds / 3;

// How a run is stopped and how its end is told. No callback may throw.
struct RunGuard {
    std::uint32_t timeLimitSeconds = 0;
    std::uint32_t timeLimitStatus = 0;
    // The stop line of a run that the time limit stopped.
    std::function<void()> timeLimitLine;
    std::uint32_t faultStatus = 0;
    // The stop line of a run that a fault stopped, given the fault's code.
    std::function<void(std::uint32_t faultCode)> faultLine;
    // The end's report: runs once, whichever end claims the process, with the claimed
    // status, after the stop line; one that hangs is cut off with the process.
    std::function<void(std::uint32_t status)> endReport;
};

class Host {
  public:
    virtual ~Host() = default;

    /// True when another copy of this program is running. Throws Error when the
    /// test itself cannot be made.
    virtual bool previousInstanceRunning() = 0;

    /// The folder that holds the running executable, without a trailing backslash
    /// (except for a drive root, "C:\"). Throws Error when it cannot be read.
    virtual std::wstring executableFolder() = 0;

    // The end of the process is claimed once: by the run's own end, by the time limit or
    // by a fault, whichever comes first. The claim stores its status, and the process
    // ends with that status whatever happens after it. Then one thread of the host, the
    // speaker, says the last words: the stop line of a run that the time limit or a
    // fault stopped, and the end's report. They get kLastWordsMilliseconds at most, so a
    // write that hangs cannot hold the end.

    /// Turns off the system's fault dialogs and has a fault that nothing handles, on
    /// any thread, end the process with `status`, without last words until guardRun
    /// gives some. A C++ exception that escapes every handler ends it the same way, as
    /// a fault with the code of a fatal application exit (0x40000015). Never throws.
    virtual void endFaultsWith(std::uint32_t status) = 0;

    /// Registers how the run's end is told and starts the run's two other threads: the
    /// watchdog, which claims the end with guard.timeLimitStatus once
    /// guard.timeLimitSeconds have passed, wherever the run is, and the speaker. A fault
    /// from here on claims it with guard.faultStatus. When the end was claimed already
    /// but the process still lives (a library's unload that never returns, say), the
    /// watchdog ends it with the claimed status. A thread that cannot be started leaves
    /// the run unbounded or without last words; never throws.
    virtual void guardRun(RunGuard guard) = 0;

    /// Registers what the run's own end does once it has claimed the end and reported
    /// it: release the objects of the libraries the run loaded and leave COM, so that
    /// the libraries unload while the watchdog still bounds the time. Must not throw;
    /// given before guardRun, as every callback of the end is.
    virtual void setReleaseAtEnd(std::function<void()> release) = 0;

    /// A lock between the run's threads. One that the system cannot make never
    /// blocks and never lets tryAcquire succeed. Never throws but for memory.
    virtual std::unique_ptr<Lock> createLock() = 0;

    /// Ends the process with the given status: claims the end, has the end reported,
    /// runs the release given to setReleaseAtEnd and ends; what was written to files
    /// stays there. When another end claimed it first, the process ends with that
    /// end's status, without the release. Never returns, and no trap may stop it.
    [[noreturn]] void endProcessNow(std::uint32_t status) {
        endProcess(status);
        std::terminate();  // an implementation that came back would break every caller
    }

  private:
    /// Ends the process (or, in tests, unwinds to the test) without coming back.
    virtual void endProcess(std::uint32_t status) = 0;
};

}  // namespace tavrel
