// The Windows entry point: one apartment for the COM objects of the run, then Main.
#include <objbase.h>
#include <windows.h>

#include "platform/win32/com_resources.h"
#include "platform/win32/win32_platform.h"
#include "run/run_sequence.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    try {
        tavrel::win32::ComApartment apartment;
        tavrel::win32::Win32Platform platform;
        tavrel::RunContext run(platform.view());
        tavrel::Main(run);
    } catch (...) {
        // Last line of defence: a windowless program has nobody to show a crash to,
        // and Main already traps every error the run can raise.
    }
    return 0;
}
