// The host process: the single-instance test, where the executable lives, the run's
// time limit, and the end.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <string>

#include "platform/exit_status.h"

namespace tavrel {

class Host {
  public:
    virtual ~Host() = default;

    /// True when another copy of this program is running. Throws Error when the
    /// test itself cannot be made.
    virtual bool previousInstanceRunning() = 0;

    /// The folder that holds the running executable, without a trailing backslash
    /// (except for a drive root, "C:\"). Throws Error when it cannot be read.
    virtual std::wstring executableFolder() = 0;

    /// Starts the watchdog, the run's one other thread. Once `seconds` have passed,
    /// unless the process has begun to end, it calls atLimit on its own thread and
    /// ends the process with TimeLimitReached, wherever the run is. atLimit must not
    /// throw. A watchdog that cannot be started leaves the run unbounded; never throws.
    virtual void startWatchdog(std::uint32_t seconds, std::function<void()> atLimit) = 0;

    /// The run log's lock: held while a line is written and while the log is opened
    /// or released, so that the watchdog's last line never cuts into another.
    virtual void lockLog() = 0;
    /// Waits at most `milliseconds` for the lock; true when it is held.
    virtual bool tryLockLog(std::uint32_t milliseconds) = 0;
    virtual void unlockLog() = 0;

    /// Ends the process at once with the given status; the lines already logged stay
    /// in the log file. The first of the run and the watchdog to end the process
    /// wins: the other's status is not used. Never returns, and no trap of the
    /// program may stop it.
    [[noreturn]] void endProcessNow(ExitStatus status) {
        endProcess(status);
        std::terminate();  // an implementation that came back would break every caller
    }

  private:
    /// Ends the process (or, in tests, unwinds to the test) without coming back.
    virtual void endProcess(ExitStatus status) = 0;
};

// Holds the run log's lock for one scope.
class LogLock {
  public:
    explicit LogLock(Host& host) : host_(host) { host_.lockLog(); }
    ~LogLock() { host_.unlockLog(); }
    LogLock(const LogLock&) = delete;
    LogLock& operator=(const LogLock&) = delete;

  private:
    Host& host_;
};

}  // namespace tavrel
