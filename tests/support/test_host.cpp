#include "support/test_host.h"

#include <windows.h>

#include <stdexcept>
#include <vector>

namespace tavrel::testhost {

std::wstring pathBesideThisProgram(const std::wstring& name) {
    // An unpacked bundle may lie deeper than MAX_PATH allows: grow until the path fits.
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD size =
            GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (size == 0) {
            throw std::runtime_error("GetModuleFileName failed, error " +
                                     std::to_string(GetLastError()));
        }
        if (size < buffer.size()) {
            std::wstring path(buffer.data(), size);
            return path.substr(0, path.find_last_of(L'\\') + 1) + name;
        }
        buffer.resize(buffer.size() * 2);
    }
}

bool runsUnderWine() {
    return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

}  // namespace tavrel::testhost
