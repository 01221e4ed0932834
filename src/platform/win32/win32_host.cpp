#include "platform/win32/win32_host.h"

#include <windows.h>

#include <stdlib.h>

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

namespace {

// The system calls the fault filter without any context: this is the host it acts for,
// set once when the run hands its faults over.
Win32Host* faultHost = nullptr;

}  // namespace

void Win32Host::startWatchdog(std::uint32_t seconds, std::uint32_t status,
                              std::function<void()> lastWords) {
    limitMilliseconds_ = seconds * 1000u;  // the build keeps the limit below INFINITE
    limitStatus_ = status;
    timeLimitWords_ = std::move(lastWords);
    startSpeaker();
    watchdog_ =
        UniqueHandle(CreateThread(nullptr, 0, &Win32Host::waitForTheTimeLimit, this, 0, nullptr));
}

void Win32Host::endFaultsWith(std::uint32_t status,
                              std::function<void(std::uint32_t faultCode)> lastWords) {
    faultStatus_ = status;
    faultWords_ = std::move(lastWords);
    startSpeaker();
    // A windowless run has nobody to answer a dialog, and error reporting may hold
    // the process while it collects.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    // The C runtime's abort() would show its "Runtime Error" box.
    _set_error_mode(_OUT_TO_STDERR);
    faultHost = this;
    SetUnhandledExceptionFilter(&Win32Host::endOnFault);
}

void Win32Host::endAlongWith(HANDLE process) {
    endAlongWith_ = process;
}

void Win32Host::endTheChild(std::uint32_t status) const {
    if (HANDLE child = endAlongWith_) {
        TerminateProcess(child, status);
    }
}

void Win32Host::setReleaseAtEnd(std::function<void()> release) {
    releaseAtEnd_ = std::move(release);
}

void Win32Host::setEndReport(std::function<void(std::uint32_t status)> report) {
    endReport_ = std::move(report);
}

DWORD WINAPI Win32Host::waitForTheTimeLimit(void* host) {
    auto& self = *static_cast<Win32Host*>(host);
    Sleep(self.limitMilliseconds_);
    if (self.claimEnd(self.limitStatus_)) {
        self.endAfter(LastWords::TimeLimit, self.limitStatus_);
    }
    // The end was claimed, yet the process lives: something holds it at its end.
    self.endWithClaimedStatus();
}

LONG WINAPI Win32Host::endOnFault(EXCEPTION_POINTERS* fault) {
    Win32Host& self = *faultHost;
    const DWORD code = fault->ExceptionRecord->ExceptionCode;
    if (self.claimEnd(self.faultStatus_)) {
        InterlockedExchange(&self.faultCode_, static_cast<LONG>(code));
        self.endAfter(LastWords::Fault, self.faultStatus_);
    }
    self.endWithClaimedStatus();  // a fault after the claim changes nothing
}

DWORD WINAPI Win32Host::sayLastWords(void* host) {
    auto& self = *static_cast<Win32Host*>(host);
    WaitForSingleObject(self.speak_.get(), INFINITE);
    if (self.lastWords_ == static_cast<LONG>(LastWords::TimeLimit)) {
        self.timeLimitWords_();
    } else if (self.lastWords_ == static_cast<LONG>(LastWords::Fault) && self.faultWords_) {
        self.faultWords_(static_cast<std::uint32_t>(self.faultCode_));
    }
    if (self.endReport_) {
        self.endReport_(self.claimedStatus());
    }
    SetEvent(self.spoken_.get());
    // Never returns: a thread that ended would abandon the log's lock to the run.
    for (;;) {
        Sleep(INFINITE);
    }
}

void Win32Host::startSpeaker() {
    if (speaker_) {
        return;
    }
    speak_ = UniqueHandle(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    spoken_ = UniqueHandle(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (speak_ && spoken_) {
        speaker_ =
            UniqueHandle(CreateThread(nullptr, 0, &Win32Host::sayLastWords, this, 0, nullptr));
    }
}

void Win32Host::endAfter(LastWords words, std::uint32_t status) {
    speakLastWords(words);
    endTheChild(status);
    TerminateProcess(GetCurrentProcess(), status);
    for (;;) {
        Sleep(INFINITE);
    }
}

void Win32Host::speakLastWords(LastWords words) {
    if (words == LastWords::None && !endReport_) {
        return;
    }
    // Without the speaker the end comes without words rather than late.
    if (speaker_) {
        InterlockedExchange(&lastWords_, static_cast<LONG>(words));
        SetEvent(speak_.get());
        WaitForSingleObject(spoken_.get(), kLastWordsMilliseconds);
    }
}

bool Win32Host::claimEnd(std::uint32_t status) {
    const LONG claim = static_cast<LONG>(status) + 1;
    return InterlockedCompareExchange(&claimedStatusPlusOne_, claim, 0) == 0;
}

std::uint32_t Win32Host::claimedStatus() const {
    return static_cast<std::uint32_t>(claimedStatusPlusOne_ - 1);
}

void Win32Host::endWithClaimedStatus() const {
    // A winner still saying its last words gets their time: ending now would cut them
    // off (a fault on the run's thread while the watchdog's line is written, say).
    if (speaker_ && WaitForSingleObject(speak_.get(), 0) == WAIT_OBJECT_0) {
        WaitForSingleObject(spoken_.get(), kLastWordsMilliseconds);
    }
    endTheChild(claimedStatus());
    TerminateProcess(GetCurrentProcess(), claimedStatus());
    for (;;) {
        Sleep(INFINITE);
    }
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
        return false;  // without a mutex the run still goes on; only last words keep off
    }
    const DWORD waited = WaitForSingleObject(mutex_.get(), milliseconds);
    return waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
}

void Win32Lock::release() {
    if (mutex_) {
        ReleaseMutex(mutex_.get());
    }
}

void Win32Host::endProcess(std::uint32_t status) {
    if (!claimEnd(status)) {
        // The watchdog or a fault got there first and ends the process, within a few
        // seconds, with its own status.
        for (;;) {
            Sleep(INFINITE);
        }
    }
    speakLastWords(LastWords::None);  // the end's report alone
    // Libraries unload and the child goes here, where the watchdog still bounds the time.
    if (releaseAtEnd_) {
        releaseAtEnd_();
    }
    // Not ExitProcess: it ends the watchdog first, then waits for every library's
    // detach and for the loader lock, which a stuck library holds for good.
    endWithClaimedStatus();
}

}  // namespace tavrel::win32
