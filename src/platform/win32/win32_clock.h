#pragma once

#include <string>

#include "platform/clock.h"

namespace tavrel::win32 {

class Win32Clock : public Clock {
  public:
    LocalTime now() override;
    std::wstring timeSeparator() override;
};

}  // namespace tavrel::win32
