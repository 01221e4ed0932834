// Stands in for a program planted under a system tool's name: when run, it leaves a
// marker next to itself, so a test can tell that it ran.
#include <windows.h>

#include <string>

int main() {
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring marker(self);
    marker.resize(marker.find_last_of(L'\\') + 1);
    marker += L"planted tool ran";
    HANDLE file = CreateFileW(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    CloseHandle(file);
    return 0;
}
