#include "platform/win32/win32_host.h"

#include <windows.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/win32/single_instance.h"
#include "platform/win32/win32_error.h"

namespace tavrel::win32 {

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

std::wstring executablePath() {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD size = static_cast<DWORD>(buffer.size());
        const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), size);
        if (length == 0) {
            throwLastError();
        }
        if (length < size) {
            return std::wstring(buffer.data(), length);
        }
        buffer.resize(buffer.size() * 2);
    }
}

std::wstring Win32Host::executableFolder() {
    std::wstring path = executablePath();
    const auto slash = path.find_last_of(L'\\');
    if (slash == std::wstring::npos) {
        throw Error(errnum::kPathNotFound, L"The executable's path has no folder");
    }
    // A drive root keeps its backslash, as "C:\".
    path.resize(slash == 2 && path[1] == L':' ? slash + 1 : slash);
    return path;
}

std::unique_ptr<Lock> Win32Host::createLock() {
    return std::make_unique<Win32Lock>();
}

Win32Lock::Win32Lock() : mutex_(CreateMutexW(nullptr, FALSE, nullptr)) {}

void Win32Lock::acquire() {
    tryAcquire(INFINITE);
}

bool Win32Lock::tryAcquire(std::uint32_t milliseconds) {
    if (!mutex_) {
        return false;  // the run goes on without it; last words leave alone what it guards
    }
    const DWORD waited = WaitForSingleObject(mutex_.get(), milliseconds);
    return waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
}

void Win32Lock::release() {
    if (mutex_) {
        ReleaseMutex(mutex_.get());
    }
}

}  // namespace tavrel::win32
