#include "platform/win32/win32_event_log.h"

#include <windows.h>

#include <vector>

#include "platform/win32/unique_resource.h"
#include "platform/win32/win32_error.h"

namespace tavrel::win32 {

namespace {

using UniqueEventSource = UniqueResource<HANDLE, &::DeregisterEventSource>;

WORD eventTypeOf(EventType type) {
    switch (type) {
        case EventType::Warning:
            return EVENTLOG_WARNING_TYPE;
        case EventType::Error:
            return EVENTLOG_ERROR_TYPE;
        case EventType::Information:
            break;
    }
    return EVENTLOG_INFORMATION_TYPE;
}

}  // namespace

void Win32EventLog::reportEvent(const LogEvent& event) {
    // Opened for this one event: the end writes one, and a handle kept from the start
    // would hold the event-log service's connection through the whole run.
    const UniqueEventSource source(RegisterEventSourceW(nullptr, event.source.c_str()));
    if (!source) {
        throwLastError();
    }
    std::vector<LPCWSTR> strings;
    strings.reserve(event.strings.size());
    for (const auto& text : event.strings) {
        strings.push_back(text.c_str());
    }
    if (!ReportEventW(source.get(), eventTypeOf(event.type), 0, event.id, nullptr,
                      static_cast<WORD>(strings.size()), 0,
                      strings.empty() ? nullptr : strings.data(), nullptr)) {
        throwLastError();
    }
}

}  // namespace tavrel::win32
