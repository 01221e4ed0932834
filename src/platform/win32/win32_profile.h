#pragma once

#include <cstdint>
#include <string>

#include "platform/profile.h"

namespace tavrel::win32 {

class Win32ProfileReader : public ProfileReader {
  public:
    ProfileString readString(const std::wstring& section, const std::wstring& key,
                             const std::wstring& defaultText, std::uint32_t bufferSize,
                             const std::wstring& fileName) override;
};

}  // namespace tavrel::win32
