#include "platform/win32/win32_host.h"

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "platform/win32/single_instance.h"
#include "platform/win32/win32_error.h"

namespace tavrel::win32 {

Win32Host::Win32Host() : logMutex_(CreateMutexW(nullptr, FALSE, nullptr)) {}

bool Win32Host::previousInstanceRunning() {
    UniqueHandle mutex(CreateMutexW(nullptr, FALSE, kSingleInstanceMutexName));
    const DWORD code = GetLastError();
    // A copy running under another account may own the mutex with a DACL that
    // shuts us out: that refusal proves the copy is there.
    if (!mutex) {
        if (code == ERROR_ACCESS_DENIED) {
            return true;
        }
        throwLastError();
    }
    if (code == ERROR_ALREADY_EXISTS) {
        return true;
    }
    instanceMutex_ = std::move(mutex);
    return false;
}

std::wstring Win32Host::executableFolder() {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD size = static_cast<DWORD>(buffer.size());
        const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), size);
        if (length == 0) {
            throwLastError();
        }
        if (length < size) {
            std::wstring path(buffer.data(), length);
            const auto slash = path.find_last_of(L'\\');
            if (slash == std::wstring::npos) {
                throw Error(errnum::kPathNotFound, L"The executable's path has no folder");
            }
            // A drive root keeps its backslash, as "C:\".
            path.resize(slash == 2 && path[1] == L':' ? slash + 1 : slash);
            return path;
        }
        buffer.resize(buffer.size() * 2);
    }
}

void Win32Host::startWatchdog(std::uint32_t seconds, std::function<void()> atLimit) {
    limitMilliseconds_ = seconds * 1000u;  // the build keeps the limit below INFINITE
    atLimit_ = std::move(atLimit);
    watchdog_ = UniqueHandle(CreateThread(nullptr, 0, &Win32Host::watch, this, 0, nullptr));
}

DWORD WINAPI Win32Host::watch(void* host) {
    auto& self = *static_cast<Win32Host*>(host);
    Sleep(self.limitMilliseconds_);
    if (!self.claimEnd(ExitStatus::TimeLimitReached)) {
        return 0;  // the run is ending by itself
    }
    self.atLimit_();
    // Not ExitProcess: it would wait for the loader lock, which a library stuck in
    // its DllMain holds for good.
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(ExitStatus::TimeLimitReached));
    return 0;
}

bool Win32Host::claimEnd(ExitStatus status) {
    const LONG claim = static_cast<LONG>(status) + 1;
    return InterlockedCompareExchange(&endClaimed_, claim, 0) == 0;
}

void Win32Host::lockLog() {
    tryLockLog(INFINITE);
}

bool Win32Host::tryLockLog(std::uint32_t milliseconds) {
    if (!logMutex_) {
        return false;  // without the lock the run still logs; only the watchdog keeps off
    }
    const DWORD waited = WaitForSingleObject(logMutex_.get(), milliseconds);
    return waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
}

void Win32Host::unlockLog() {
    if (logMutex_) {
        ReleaseMutex(logMutex_.get());
    }
}

void Win32Host::endProcess(ExitStatus status) {
    if (claimEnd(status)) {
        ExitProcess(static_cast<UINT>(status));
    }
    // The watchdog got there first and is ending the process with its own status.
    for (;;) {
        Sleep(INFINITE);
    }
}

}  // namespace tavrel::win32
