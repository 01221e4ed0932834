#include "platform/win32/ansi_text.h"

#include <windows.h>

#include <climits>
#include <cstddef>

#include "platform/win32/win32_error.h"

namespace tavrel::win32 {

int checkedLength(std::size_t size) {
    if (size > static_cast<std::size_t>(INT_MAX)) {
        throw Error(errnum::kOutOfMemory, L"Text too long to convert");
    }
    return static_cast<int>(size);
}

std::string wideToAnsi(std::wstring_view text) {
    if (text.empty()) {
        return {};
    }
    const int length = checkedLength(text.size());
    const int needed =
        WideCharToMultiByte(CP_ACP, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    if (needed <= 0) {
        throwLastError();
    }
    std::string out(static_cast<std::size_t>(needed), '\0');
    if (WideCharToMultiByte(CP_ACP, 0, text.data(), length, out.data(), needed, nullptr, nullptr) !=
        needed) {
        throwLastError();
    }
    return out;
}

std::wstring ansiToWide(std::string_view bytes) {
    if (bytes.empty()) {
        return {};
    }
    const int length = checkedLength(bytes.size());
    const int needed = MultiByteToWideChar(CP_ACP, 0, bytes.data(), length, nullptr, 0);
    if (needed <= 0) {
        throwLastError();
    }
    std::wstring out(static_cast<std::size_t>(needed), L'\0');
    if (MultiByteToWideChar(CP_ACP, 0, bytes.data(), length, out.data(), needed) != needed) {
        throwLastError();
    }
    return out;
}

}  // namespace tavrel::win32
