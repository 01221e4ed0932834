#include "prereq/silent_registration.h"

#include <cstdint>

namespace tavrel {

namespace {

constexpr std::uint32_t kRegistrationPauseMs = 1000;

// The quotes keep a path with blanks one argument.
std::wstring silentRegistrationCommandLine(const std::wstring& libraryPath) {
    return L"regsvr32.exe -s \"" + libraryPath + L"\"";
}

}  // namespace

void startSilentRegistration(RunContext& run, const std::wstring& libraryPath) {
    run.os.system.startSystemProgramHidden(L"regsvr32.exe",
                                           silentRegistrationCommandLine(libraryPath));
}

void pauseForRegistration(RunContext& run) {
    run.os.system.sleep(kRegistrationPauseMs);
}

void registerLibrarySilently(RunContext& run, const std::wstring& libraryPath) {
    startSilentRegistration(run, libraryPath);
    pauseForRegistration(run);
}

}  // namespace tavrel
