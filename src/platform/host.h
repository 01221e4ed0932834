// The host process: the single-instance test, where the executable lives, and the end.
#pragma once

#include <exception>
#include <string>

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

    /// Ends the process at once; the lines already logged stay in the log file.
    /// Never returns, and no trap of the program may stop it.
    [[noreturn]] void endProcessNow() {
        endProcess();
        std::terminate();  // an implementation that came back would break every caller
    }

  private:
    /// Ends the process (or, in tests, unwinds to the test) without coming back.
    virtual void endProcess() = 0;
};

}  // namespace tavrel
