// The system's event log: one event, written by a named source into the Application log.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tavrel {

enum class EventType { Information, Warning, Error };

struct LogEvent {
    std::wstring source;  // the source's name, as its registration under EventLog names it
    EventType type = EventType::Information;
    std::uint32_t id = 0;               // the message table's ID, without severity or facility bits
    std::vector<std::wstring> strings;  // the message's insertion strings, %1 first
};

class EventLog {
  public:
    virtual ~EventLog() = default;

    /// Writes the event into the Application log of this machine, category 0 and no
    /// data; a source nobody registered still writes it, only without its message
    /// text. Throws Error when the source cannot be opened or the event is refused.
    virtual void reportEvent(const LogEvent& event) = 0;
};

}  // namespace tavrel
