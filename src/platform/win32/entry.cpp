// The Windows entry point: one apartment for the COM objects of the run, then Main.
#include <objbase.h>
#include <windows.h>

#include "platform/win32/win32_platform.h"
#include "run/run_sequence.h"

namespace {

class ComApartment {
  public:
    ComApartment() : initialised_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;
    ~ComApartment() {
        if (initialised_) {
            CoUninitialize();
        }
    }

  private:
    bool initialised_;
};

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    try {
        ComApartment apartment;
        tavrel::win32::Win32Platform platform;
        tavrel::RunContext run(platform.view());
        tavrel::Main(run);
    } catch (...) {
        // Last line of defence: a windowless program has nobody to show a crash to,
        // and Main already traps every error the run can raise.
    }
    return 0;
}
