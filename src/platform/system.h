// The machine itself: its Windows folder, its tick count, its case mapping, starting
// system programs and pausing.
#pragma once

#include <cstdint>
#include <string>

namespace tavrel {

struct WindowsDirectory {
    std::uint32_t length = 0;  // what GetWindowsDirectoryA returned; 0 on failure
    std::wstring buffer;       // the whole buffer after the call
};

class System {
  public:
    virtual ~System() = default;

    /// GetWindowsDirectoryA into a buffer of bufferSize characters.
    virtual WindowsDirectory windowsDirectory(std::uint32_t bufferSize) = 0;

    /// Milliseconds since the system started, as a 64-bit count that does not wrap.
    virtual std::uint64_t tickCount() = 0;

    /// The text with every letter upper-cased by the system's locale-independent
    /// mapping, so that the result is the same on every machine ("é" gives "É", and
    /// "i" gives "I" in Turkey too). Throws Error on failure.
    virtual std::wstring toUpperInvariant(const std::wstring& text) = 0;

    /// The text with its environment strings (%name%) expanded. Throws Error.
    virtual std::wstring expandEnvironmentStrings(const std::wstring& text) = 0;

    /// Starts the named program from the system folder, in that folder, with its window
    /// hidden and the given command line, and does not wait for it. Throws Error when it cannot be
    /// started, the system folder unknown included.
    virtual void startSystemProgramHidden(const std::wstring& programName,
                                          const std::wstring& commandLine) = 0;

    /// Pauses the program.
    virtual void sleep(std::uint32_t milliseconds) = 0;
};

}  // namespace tavrel
