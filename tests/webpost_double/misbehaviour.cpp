#include "misbehaviour.h"

#include <windows.h>
// After windows.h, which it needs.
#include <tlhelp32.h>

#include <cstdlib>
#include <stdexcept>

namespace tavrel::webpost {

namespace {

void writeThroughNull() {
    // Through volatile, so the compiler can neither see the null and emit a trap instead
    // of the access violation a faulty library makes, nor drop a store nobody reads.
    volatile int* volatile target = nullptr;
    *target = 1;
}

// Each frame keeps a buffer the compiler cannot drop, so the recursion runs out of stack;
// the frame's volatile byte hides from the compiler that it never ends.
unsigned overflowTheStack(unsigned depth) {
    volatile char frame[4096];
    frame[0] = static_cast<char>(depth);
    if (frame[0] == 1 && depth > 0xFFFFFF00u) {
        return 0;
    }
    return overflowTheStack(depth + 1) + static_cast<unsigned>(frame[0]);
}

DWORD WINAPI faultOnThisThread(void*) {
    writeThroughNull();
    return 0;
}

LONG WINAPI exitWithZero(EXCEPTION_POINTERS*) {
    TerminateProcess(GetCurrentProcess(), 0);
    return EXCEPTION_EXECUTE_HANDLER;
}

}  // namespace

bool misbehaves(AnswerKind kind) {
    switch (kind) {
        case AnswerKind::Fault:
        case AnswerKind::Overflow:
        case AnswerKind::Abort:
        case AnswerKind::Throw:
        case AnswerKind::ThreadFault:
        case AnswerKind::Exit:
        case AnswerKind::FastFail:
            return true;
        default:
            return false;
    }
}

void misbehave(AnswerKind kind) {
    switch (kind) {
        case AnswerKind::Fault:
            writeThroughNull();
            break;
        case AnswerKind::Overflow:
            overflowTheStack(0);
            break;
        case AnswerKind::Abort:
            std::abort();
        case AnswerKind::Throw:
            // Out through the caller's COM runtime, which no C++ handler guards.
            throw std::runtime_error("thrown out of PostXMLString");
        case AnswerKind::ThreadFault: {
            // The caller waits in the call while another thread of the library faults.
            const HANDLE thread = CreateThread(nullptr, 0, &faultOnThisThread, nullptr, 0, nullptr);
            if (thread != nullptr) {
                WaitForSingleObject(thread, INFINITE);
                CloseHandle(thread);
            }
            break;
        }
        case AnswerKind::Exit:
            ExitProcess(0);
        case AnswerKind::FastFail:
            // What __fastfail leaves: no handler runs, the process ends with this code.
            // Wine 8's RaiseFailFastException returns instead.
            TerminateProcess(GetCurrentProcess(), 0xC0000409);
            break;
        default:
            break;
    }
}

std::wstring describeCaller() {
    std::wstring self = L"?";
    std::wstring parent = L"?";
    DWORD parentId = 0;
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        return L"caller ? child of ?";
    }
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more;
         more = Process32NextW(snapshot, &entry)) {
        if (entry.th32ProcessID == GetCurrentProcessId()) {
            self = entry.szExeFile;
            parentId = entry.th32ParentProcessID;
        }
    }
    for (BOOL more = Process32FirstW(snapshot, &entry); more;
         more = Process32NextW(snapshot, &entry)) {
        if (parentId != 0 && entry.th32ProcessID == parentId) {
            parent = entry.szExeFile;
        }
    }
    CloseHandle(snapshot);
    return L"caller " + self + L" child of " + parent;
}

void installOwnFaultFilter() {
    SetUnhandledExceptionFilter(&exitWithZero);
}

}  // namespace tavrel::webpost
