#pragma once

#include "platform/event_log.h"

namespace tavrel::win32 {

class Win32EventLog : public EventLog {
  public:
    void reportEvent(const LogEvent& event) override;
};

}  // namespace tavrel::win32
