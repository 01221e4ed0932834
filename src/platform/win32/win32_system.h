#pragma once

#include <cstdint>
#include <string>

#include "platform/system.h"

namespace tavrel::win32 {

class Win32System : public System {
  public:
    WindowsDirectory windowsDirectory(std::uint32_t bufferSize) override;
    std::uint64_t tickCount() override;
    std::wstring toUpperInvariant(const std::wstring& text) override;
    void startSystemProgramHidden(const std::wstring& programName,
                                  const std::wstring& commandLine) override;
    std::wstring expandEnvironmentStrings(const std::wstring& text) override;
    void sleep(std::uint32_t milliseconds) override;
};

/// The system folder, without a trailing backslash. Throws Error.
std::wstring systemFolder();

}  // namespace tavrel::win32
