// Windows profile (INI) files, read through the ANSI profile function.
#pragma once

#include <cstdint>
#include <string>

namespace tavrel {

struct ProfileString {
    // The characters the function copied, without the terminating NUL.
    std::uint32_t count = 0;
    // The whole buffer after the call, bufferSize characters, NULs kept.
    std::wstring buffer;
};

class ProfileReader {
  public:
    virtual ~ProfileReader() = default;

    /// GetPrivateProfileStringA into a buffer of bufferSize NULs: at most bufferSize - 1
    /// characters of the value are copied; an absent file, section or key gives the
    /// default and its length. Text goes out and comes back in the system ANSI code
    /// page. Throws Error only when the buffer cannot be had or a text cannot be
    /// converted between the code page and wide text.
    virtual ProfileString readString(const std::wstring& section, const std::wstring& key,
                                     const std::wstring& defaultText, std::uint32_t bufferSize,
                                     const std::wstring& fileName) = 0;
};

}  // namespace tavrel
