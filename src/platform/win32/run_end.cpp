#include "platform/win32/run_end.h"

#include <windows.h>

#include <stdlib.h>

#include <utility>

namespace tavrel::win32 {

namespace {

// The system calls the fault filter without any context: this is the end it acts for,
// set when the run hands its faults over.
RunEnd* faultsEnd = nullptr;

// The one wait that never returns: the speaker's, whose end would abandon the log's
// lock to the run, and the end's own, should TerminateProcess ever come back.
[[noreturn]] void waitForever() {
    for (;;) {
        Sleep(INFINITE);
    }
}

}  // namespace

void sendFaultsTo(LPTOP_LEVEL_EXCEPTION_FILTER filter) {
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    // The C runtime's abort() would show its "Runtime Error" box.
    _set_error_mode(_OUT_TO_STDERR);
    SetUnhandledExceptionFilter(filter);
}

void RunEnd::endFaultsWith(std::uint32_t status) {
    faultStatus_ = status;
    faultsEnd = this;
    sendFaultsTo(&RunEnd::endOnFault);
}

void RunEnd::guardRun(RunGuard guard) {
    // Every callback is in place before the threads that call them start.
    guard_ = std::move(guard);
    speak_ = UniqueHandle(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    spoken_ = UniqueHandle(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (speak_ && spoken_) {
        speaker_ =
            UniqueHandle(CreateThread(nullptr, 0, &RunEnd::speakTheLastWords, this, 0, nullptr));
    }
    endFaultsWith(guard_.faultStatus);
    watchdog_ =
        UniqueHandle(CreateThread(nullptr, 0, &RunEnd::watchTheTimeLimit, this, 0, nullptr));
}

void RunEnd::endRun(std::uint32_t status) {
    endWith(Ending::OwnEnd, status);
}

DWORD WINAPI RunEnd::watchTheTimeLimit(void* end) {
    auto& self = *static_cast<RunEnd*>(end);
    Sleep(self.guard_.timeLimitSeconds * 1000u);  // the build keeps the limit below INFINITE
    self.endWith(Ending::TimeLimit, self.guard_.timeLimitStatus);
}

LONG WINAPI RunEnd::endOnFault(EXCEPTION_POINTERS* fault) {
    // GCC's x86-64 unwinder raises a C++ exception as this code, and where nothing catches
    // it, goes on to std::terminate once a filter lets it: the terminate handler then
    // ends the run as a fault of its own code, as on the 32-bit build.
    constexpr DWORD kGccThrow = 0x20474343;
    if (fault->ExceptionRecord->ExceptionCode == kGccThrow &&
        (fault->ExceptionRecord->ExceptionFlags & EXCEPTION_NONCONTINUABLE) == 0) {
        return EXCEPTION_CONTINUE_EXECUTION;
    }
    faultsEnd->endWith(Ending::Fault, faultsEnd->faultStatus_,
                       fault->ExceptionRecord->ExceptionCode);
}

DWORD WINAPI RunEnd::speakTheLastWords(void* end) {
    auto& self = *static_cast<RunEnd*>(end);
    WaitForSingleObject(self.speak_.get(), INFINITE);
    if (self.ending_ == Ending::TimeLimit && self.guard_.timeLimitLine) {
        self.guard_.timeLimitLine();
    } else if (self.ending_ == Ending::Fault && self.guard_.faultLine) {
        self.guard_.faultLine(self.faultCode_);
    }
    if (self.guard_.endReport) {
        self.guard_.endReport(self.claimedStatus());
    }
    SetEvent(self.spoken_.get());
    waitForever();
}

void RunEnd::endWith(Ending ending, std::uint32_t status, std::uint32_t faultCode) {
    const LONG claim = static_cast<LONG>(status) + 1;
    if (InterlockedCompareExchange(&claimedStatusPlusOne_, claim, 0) == 0) {
        ending_ = ending;
        faultCode_ = faultCode;
        // Without the speaker the end comes without words rather than late.
        SetEvent(speaker_ ? speak_.get() : spoken_.get());
        WaitForSingleObject(spoken_.get(), kLastWordsMilliseconds);
        // The libraries unload and the child goes here, where the watchdog still bounds
        // the time.
        if (ending == Ending::OwnEnd && releaseAtEnd_) {
            releaseAtEnd_();
        }
    } else {
        // Another end claimed it first. Its last words get their time, then the process
        // ends with its status, from here or from there, whichever comes first: from
        // here when the run's own release never returns, say.
        WaitForSingleObject(spoken_.get(), kLastWordsMilliseconds);
    }
    terminateWithClaimedStatus();
}

std::uint32_t RunEnd::claimedStatus() const {
    return static_cast<std::uint32_t>(claimedStatusPlusOne_ - 1);
}

void RunEnd::terminateWithClaimedStatus() const {
    if (HANDLE child = endAlongWith_) {
        TerminateProcess(child, claimedStatus());
    }
    // Not ExitProcess: it ends the watchdog first, then waits for every library's
    // detach and for the loader lock, which a stuck library holds for good.
    TerminateProcess(GetCurrentProcess(), claimedStatus());
    waitForever();
}

}  // namespace tavrel::win32
