#include "platform/win32/win32_profile.h"

#include <windows.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win32/ansi_text.h"

namespace tavrel::win32 {

ProfileString Win32ProfileReader::readString(const std::wstring& section, const std::wstring& key,
                                             const std::wstring& defaultText,
                                             std::uint32_t bufferSize,
                                             const std::wstring& fileName) {
    const std::string ansiSection = wideToAnsi(section);
    const std::string ansiKey = wideToAnsi(key);
    const std::string ansiDefault = wideToAnsi(defaultText);
    const std::string ansiFile = wideToAnsi(fileName);
    std::vector<char> buffer(bufferSize, '\0');
    const DWORD copied =
        GetPrivateProfileStringA(ansiSection.c_str(), ansiKey.c_str(), ansiDefault.c_str(),
                                 buffer.data(), bufferSize, ansiFile.c_str());
    // The count is in bytes of the code page; give it in characters of the wide text.
    const std::size_t copiedBytes = std::min<std::size_t>(copied, buffer.size());
    ProfileString result;
    result.count =
        static_cast<std::uint32_t>(ansiToWide(std::string_view(buffer.data(), copiedBytes)).size());
    result.buffer = ansiToWide(std::string_view(buffer.data(), buffer.size()));
    return result;
}

}  // namespace tavrel::win32
