#include "platform/win32/win32_error.h"

#include <cstdint>

#include "platform/text.h"

namespace tavrel::win32 {

namespace {

std::int32_t programErrorNumber(DWORD code) {
    switch (code) {
        case ERROR_FILE_NOT_FOUND:
            return errnum::kFileNotFound;
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME:
        case ERROR_BAD_NETPATH:
            return errnum::kPathNotFound;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
        case ERROR_WRITE_PROTECT:
            return errnum::kPermissionDenied;
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS:
            return errnum::kFileAlreadyExists;
        case ERROR_NOT_ENOUGH_MEMORY:
        case ERROR_OUTOFMEMORY:
            return errnum::kOutOfMemory;
        default:
            return static_cast<std::int32_t>(HRESULT_FROM_WIN32(code));
    }
}

}  // namespace

std::wstring systemMessageOrEmpty(DWORD code) {
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring message;
    if (length != 0 && buffer != nullptr) {
        message.assign(buffer, length);
    }
    LocalFree(buffer);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r')) {
        message.pop_back();
    }
    return message;
}

std::wstring systemMessage(DWORD code) {
    std::wstring message = systemMessageOrEmpty(code);
    if (message.empty()) {
        message = L"Windows error " + decimalText(code);
    }
    return message;
}

Error errorFromWin32(DWORD code) {
    return Error(programErrorNumber(code), systemMessage(code));
}

void throwLastError() {
    const DWORD code = GetLastError();
    throw errorFromWin32(code == ERROR_SUCCESS ? ERROR_GEN_FAILURE : code);
}

}  // namespace tavrel::win32
