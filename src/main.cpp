// The Windows entry point: one apartment for the COM objects of the run, then Main,
// then the end of the process with the status the run has learnt.
#include <objbase.h>
#include <windows.h>

#include <cstdint>

#include "context/web_post_names.h"
#include "platform/win32/child_main.h"
#include "platform/win32/com_resources.h"
#include "platform/win32/redirection_guard.h"
#include "platform/win32/win32_platform.h"
#include "run/run_sequence.h"

#ifndef TAVREL_RUN_TIME_LIMIT_SECONDS
#error "TAVREL_RUN_TIME_LIMIT_SECONDS must give the run's time limit"
#endif

#ifdef TAVREL_TEST_OWN_EXCEPTION
namespace {
// A test build only: the registration's pause throws a C++ exception that nothing
// catches, as a fault of the program's own code would, once the run's log is open.
// Not a library exception type: those would bring the library's throw helpers along.
struct OwnException {};
class ThrowingSystem : public tavrel::win32::Win32System {
  public:
    void sleep(std::uint32_t) override { throw OwnException{}; }
};
}  // namespace
#endif

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR commandLine, int) {
    // Before any name is opened, in the run and in the child alike.
    tavrel::win32::askForRedirectionGuard();
    // Started by a run to host the web-post library, or by hand with its switch.
    if (tavrel::win32::namesTheChildRole(commandLine)) {
        return tavrel::win32::serveAsChild(commandLine,
                                           static_cast<int>(tavrel::ExitStatus::StoppedByError));
    }
    // Nothing here is destroyed before the end: the watchdog, the speaker and the fault
    // filter use the platform and the run to the last.
    tavrel::win32::ComApartment apartment;
    // The agent's library is loaded in a child, never here; everything else in the run.
    tavrel::win32::Win32Platform platform{tavrel::kWebPostProgId};
    // Until the run can say why, a fault still ends it with the failed run's status.
    platform.host.endFaultsWith(static_cast<std::uint32_t>(tavrel::ExitStatus::StoppedByError));
#ifdef TAVREL_TEST_OWN_EXCEPTION
    ThrowingSystem throwing;
    const tavrel::Platform view{platform.host,  platform.registry,   platform.fileSystems,
                                platform.clock, platform.profiles,   throwing,
                                platform.wmi,   platform.automation, platform.eventLog};
#else
    const tavrel::Platform view = platform.view();
#endif
    tavrel::RunContext run(view, std::uint32_t{TAVREL_RUN_TIME_LIMIT_SECONDS});
    // The run's file objects go first, then the web-post library's child, which gets a
    // moment to end and no more, then COM, so that the libraries it loaded unload.
    platform.host.setReleaseAtEnd([&run, &apartment, &platform] {
        run.state.gLogStream.reset();
        run.state.gFso.reset();
        platform.automation.letChildGo();
        apartment.leave();
    });
    // Main traps every Error; anything else that escapes it (a failed check of the C++
    // library, say) ends through the terminate handler as a fault: status 8 and a line.
    tavrel::Main(run);
    platform.host.endProcessNow(static_cast<std::uint32_t>(run.state.exitStatus));
}
