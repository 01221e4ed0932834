// The local clock and the regional time separator.
#pragma once

#include <string>

namespace tavrel {

struct LocalTime {
    int year = 0;
    int month = 0;  // 1 to 12
    int day = 0;    // 1 to 31
    int hour = 0;   // 0 to 23
    int minute = 0;
    int second = 0;
};

class Clock {
  public:
    virtual ~Clock() = default;

    /// One reading of the local date and time. Throws Error on failure.
    virtual LocalTime now() = 0;

    /// The regional time separator (":" unless the regional settings choose
    /// another); ":" when the system gives none. Throws Error on failure.
    virtual std::wstring timeSeparator() = 0;
};

}  // namespace tavrel
