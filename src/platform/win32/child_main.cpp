#include "platform/win32/child_main.h"

#include <objbase.h>
#include <windows.h>

#include <cstdint>
#include <cwchar>
#include <string_view>

#include "platform/child_automation.h"
#include "platform/win32/child_process.h"
#include "platform/win32/com_resources.h"
#include "platform/win32/pipe_line.h"
#include "platform/win32/redirection_guard.h"
#include "platform/win32/run_end.h"
#include "platform/win32/win32_automation.h"

namespace tavrel::win32 {

namespace {

// Whatever nothing handles ends the child at once with the exception's code, which the
// run learns as its exit code. Not the system's filter: Wine's starts a debugger.
LONG WINAPI endWithTheExceptionsCode(EXCEPTION_POINTERS* exception) {
    TerminateProcess(GetCurrentProcess(), exception->ExceptionRecord->ExceptionCode);
    return EXCEPTION_EXECUTE_HANDLER;
}

// A stack overflow ends the child at first sight, before the search for a handler walks
// the frames to the filter: the walk needs more stack than the overflow left, and Wine 10
// then ends the thread with 1 (a reserve from SetThreadStackGuarantee, which Wine does not
// keep, would not help). It comes before the library's own handlers: the rare library
// that recovers from an overflow gives way to the child ending with the overflow's code.
LONG WINAPI endOnStackOverflow(EXCEPTION_POINTERS* exception) {
    if (exception->ExceptionRecord->ExceptionCode == EXCEPTION_STACK_OVERFLOW) {
        TerminateProcess(GetCurrentProcess(), EXCEPTION_STACK_OVERFLOW);
    }
    return EXCEPTION_CONTINUE_SEARCH;
}

// One decimal handle value, up to the blank or the end that follows it; null for none.
HANDLE readHandle(std::wstring_view& text) {
    std::uintptr_t value = 0;
    std::size_t digits = 0;
    while (digits < text.size() && text[digits] >= L'0' && text[digits] <= L'9' && digits < 19) {
        value = value * 10 + static_cast<std::uintptr_t>(text[digits] - L'0');
        ++digits;
    }
    if (digits == 0) {
        return nullptr;
    }
    text.remove_prefix(digits);
    return reinterpret_cast<HANDLE>(value);
}

bool isStandardHandle(HANDLE handle) {
    for (const DWORD which : {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE}) {
        if (GetStdHandle(which) == handle) {
            return true;
        }
    }
    return false;
}

bool isLineEnd(HANDLE handle) {
    return handle != nullptr && !isStandardHandle(handle) &&
           GetFileType(handle) == FILE_TYPE_PIPE &&
           SetHandleInformation(handle, HANDLE_FLAG_INHERIT, 0);  // nothing it starts gets it
}

}  // namespace

bool namesTheChildRole(const wchar_t* commandLine) {
    return commandLine != nullptr &&
           std::wstring_view(commandLine).starts_with(std::wstring_view(kChildSwitch));
}

int serveAsChild(const wchar_t* commandLine, int refusedStatus) {
    std::wstring_view rest(commandLine);
    rest.remove_prefix(std::wstring_view(kChildSwitch).size());
    const HANDLE reading = readHandle(rest);
    const bool separated = !rest.empty() && rest.front() == L' ';
    rest.remove_prefix(separated ? 1 : 0);
    const HANDLE writing = separated ? readHandle(rest) : nullptr;
    if (!rest.empty() || reading == writing || !isLineEnd(reading) || !isLineEnd(writing)) {
        return refusedStatus;
    }
    // Per process, so the run's own settings never reach this one, and before the library
    // loads: no dialog may hold a child nobody sees.
    sendFaultsTo(&endWithTheExceptionsCode);
    AddVectoredExceptionHandler(1, &endOnStackOverflow);
    // The library finds what lies beside it, as COM loads it with that folder first, and
    // nothing from the folder this was started in.
    SetDllDirectoryW(L"");
    // The calls are made here, on the main thread, in a single-threaded apartment.
    ComApartment apartment;
    Win32Automation objects;
    PipeLine line{UniqueHandle(reading), UniqueHandle(writing)};
    serveParent(line, objects);
    return 0;
}

}  // namespace tavrel::win32
