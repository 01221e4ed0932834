// The run's side of the child process that hosts the web-post library: the same
// executable, started with the child's switch and the handles of its line.
#pragma once

#include <memory>

#include "platform/child_automation.h"
#include "platform/win32/win32_host.h"

namespace tavrel::win32 {

/// The switch that makes the executable the child, followed by the decimal values of
/// the inherited handles it reads requests from and writes replies to.
inline constexpr wchar_t kChildSwitch[] = L"--webpost-child ";

class Win32ChildStarter : public ChildStarter {
  public:
    explicit Win32ChildStarter(Win32Host& host) : host_(host) {}

    /// The child's standard handles are NUL, and it lives in a job that ends it with
    /// the run, however the run ends; where it cannot have that job (a job of the
    /// run's own that refuses one within it), the host ends it with the run. Throws Error.
    std::unique_ptr<RunningChild> startChild() override;

  private:
    Win32Host& host_;
};

}  // namespace tavrel::win32
