#include "run/run_event.h"

#include <optional>
#include <string>
#include <string_view>

#include "log/run_log.h"
#include "platform/error.h"
#include "platform/event_log.h"

namespace tavrel {

namespace {

EventType eventTypeOf(ExitStatus status) {
    switch (status) {
        case ExitStatus::Delivered:
        case ExitStatus::AgentTypeNotSupported:
            return EventType::Information;
        case ExitStatus::Spooled:
            return EventType::Warning;  // the report still waits to be sent
        default:
            return EventType::Error;
    }
}

// Where the log lies; a run without one says so, as the event is then its only trace.
std::wstring logPlaceOf(const std::optional<RunTrace>& trace) {
    if (!trace) {
        return L"unknown";
    }
    switch (trace->logStage) {
        case LogStage::Created:
            return trace->logPath;
        case LogStage::BeingCreated:
            return trace->logPath + L" (the run was stopped while creating it)";
        case LogStage::NotCreated:
            return L"none, " + trace->logPath + L" could not be created";
        case LogStage::NotStarted:
            break;
    }
    return L"none, the run ended before creating it";
}

std::wstring valueOr(const std::wstring& value, const wchar_t* missing) {
    return value.empty() ? std::wstring(missing) : value;
}

// The head of a long text, marked, so that the event is not refused for its length.
std::wstring bounded(std::wstring text) {
    constexpr std::wstring_view kCutMark = L" [cut]";
    if (text.size() > kEventStringCharacters) {
        text.resize(kEventStringCharacters - kCutMark.size());
        text += kCutMark;
    }
    return text;
}

}  // namespace

void writeRunEvent(RunContext& run, std::uint32_t status) {
    const auto ending = static_cast<ExitStatus>(status);
    if (ending == ExitStatus::AnotherCopyRunning ||
        status > static_cast<std::uint32_t>(ExitStatus::OpenToOthers)) {
        return;
    }
    ignoreFailure([&] {
        const std::optional<RunTrace> trace = copyTrace(run);
        LogEvent event{std::wstring(kEventSource),
                       eventTypeOf(ending),
                       kFirstEventId + status,
                       {bounded(logPlaceOf(trace))}};
        if (ending == ExitStatus::Spooled) {
            event.strings.push_back(
                bounded(trace ? valueOr(trace->spooledReport, L"unknown") : L"unknown"));
        } else if (eventTypeOf(ending) == EventType::Error) {
            event.strings.push_back(
                bounded(trace ? valueOr(trace->lastErrorLine, L"none") : L"unknown"));
        }
        run.os.eventLog.reportEvent(event);
    });
}

}  // namespace tavrel
