#include "script_line.h"

#include <cstddef>
#include <cwchar>

namespace tavrel::webpost {

namespace {

constexpr std::uint32_t kLongestDelayMs = 60000;
constexpr std::uint32_t kLongestUnloadDelayMs = 3600000;

std::wstring_view trimBlanks(std::wstring_view text) {
    while (!text.empty() && text.front() == L' ') {
        text.remove_prefix(1);
    }
    while (!text.empty() && text.back() == L' ') {
        text.remove_suffix(1);
    }
    return text;
}

// Whole-text conversion: "12x" or "" is not a number.
std::optional<unsigned long long> readUnsigned(std::wstring_view text, int base) {
    const std::wstring copy(trimBlanks(text));
    if (copy.empty() || copy.front() == L'-') {
        return std::nullopt;
    }
    wchar_t* end = nullptr;
    const unsigned long long value = std::wcstoull(copy.c_str(), &end, base);
    if (*end != L'\0') {
        return std::nullopt;
    }
    return value;
}

std::optional<std::int32_t> readSigned(std::wstring_view text) {
    const std::wstring copy(trimBlanks(text));
    if (copy.empty()) {
        return std::nullopt;
    }
    wchar_t* end = nullptr;
    const long long value = std::wcstoll(copy.c_str(), &end, 10);
    if (*end != L'\0' || value < INT32_MIN || value > INT32_MAX) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(value);
}

// "raise=0x80004005:description": the code in hex or decimal, the description verbatim.
bool readRaise(std::wstring_view field, ScriptStep& step, std::wstring& problem) {
    const auto colon = field.find(L':');
    const auto code = readUnsigned(field.substr(0, colon), 0);
    if (!code || *code > UINT32_MAX) {
        problem = L"raise needs an error code such as 0x80004005";
        return false;
    }
    step.kind = AnswerKind::Raise;
    step.raiseCode = static_cast<std::uint32_t>(*code);
    step.text = colon == std::wstring_view::npos ? L"" : std::wstring(field.substr(colon + 1));
    return true;
}

bool readAnswer(std::wstring_view field, ScriptStep& step, std::wstring& problem) {
    if (field.starts_with(L"str:")) {
        step.kind = AnswerKind::Text;
        step.text = field.substr(4);
        return true;
    }
    if (field.starts_with(L"raise=")) {
        return readRaise(field.substr(6), step, problem);
    }
    const std::wstring_view word = trimBlanks(field);
    if (word == L"true" || word == L"false") {
        step.kind = AnswerKind::Boolean;
        step.boolean = word == L"true";
        return true;
    }
    static constexpr std::pair<std::wstring_view, AnswerKind> kMisbehaviours[] = {
        {L"fault", AnswerKind::Fault},
        {L"overflow", AnswerKind::Overflow},
        {L"abort", AnswerKind::Abort},
        {L"throw", AnswerKind::Throw},
        {L"thread_fault", AnswerKind::ThreadFault},
        {L"exit", AnswerKind::Exit},
        {L"fast_fail", AnswerKind::FastFail},
    };
    for (const auto& [name, kind] : kMisbehaviours) {
        if (word == name) {
            step.kind = kind;
            return true;
        }
    }
    if (word == L"empty" || word == L"null") {
        step.kind = word == L"empty" ? AnswerKind::Empty : AnswerKind::Null;
        return true;
    }
    if (word.starts_with(L"int:")) {
        const auto value = readSigned(word.substr(4));
        if (value) {
            step.kind = AnswerKind::Integer;
            step.integer = *value;
            return true;
        }
    }
    problem = L"unknown answer \"" + std::wstring(field) + L"\"";
    return false;
}

bool readMilliseconds(std::wstring_view key, std::wstring_view value, std::uint32_t longest,
                      std::uint32_t& milliseconds, std::wstring& problem) {
    const auto ms = readUnsigned(value, 10);
    if (ms && *ms <= longest) {
        milliseconds = static_cast<std::uint32_t>(*ms);
        return true;
    }
    problem = std::wstring(key) + L" needs milliseconds from 0 to " + std::to_wstring(longest);
    return false;
}

bool readOption(std::wstring_view field, ScriptStep& step, std::wstring& problem) {
    const auto equals = field.find(L'=');
    const std::wstring_view key = field.substr(0, equals);
    const std::wstring_view value =
        equals == std::wstring_view::npos ? std::wstring_view() : field.substr(equals + 1);
    if (equals != std::wstring_view::npos && key.size() == 6 && key.starts_with(L"reply") &&
        key[5] >= L'1' && key[5] <= L'4') {
        step.replies[static_cast<std::size_t>(key[5] - L'1')] = std::wstring(value);
        return true;
    }
    if (equals != std::wstring_view::npos && key == L"report") {
        step.report = std::wstring(value);
        return true;
    }
    if (equals != std::wstring_view::npos && key == L"delay") {
        return readMilliseconds(key, value, kLongestDelayMs, step.delayMs, problem);
    }
    if (equals != std::wstring_view::npos && key == L"unload_delay") {
        return readMilliseconds(key, value, kLongestUnloadDelayMs, step.unloadDelayMs, problem);
    }
    if (field == L"own_filter=yes") {
        step.ownFaultFilter = true;
        return true;
    }
    if (field == L"caller=yes") {
        step.noteCaller = true;
        return true;
    }
    problem = L"unknown option \"" + std::wstring(field) + L"\"";
    return false;
}

}  // namespace

std::optional<ScriptStep> parseScriptLine(std::wstring_view line, std::wstring& problem) {
    ScriptStep step;
    bool first = true;
    while (true) {
        const auto bar = line.find(L'|');
        const std::wstring_view field = line.substr(0, bar);
        if (!(first ? readAnswer(field, step, problem) : readOption(field, step, problem))) {
            return std::nullopt;
        }
        if (bar == std::wstring_view::npos) {
            return step;
        }
        first = false;
        line.remove_prefix(bar + 1);
    }
}

std::optional<ScriptLine> pickScriptLine(std::wstring_view script, unsigned callNumber) {
    std::optional<ScriptLine> picked;
    unsigned number = 0;
    unsigned counted = 0;
    while (!script.empty() && counted < callNumber) {
        const auto newline = script.find(L'\n');
        std::wstring_view line = script.substr(0, newline);
        script.remove_prefix(newline == std::wstring_view::npos ? script.size() : newline + 1);
        ++number;
        // Scripts written on Windows end their lines in CR LF.
        if (line.ends_with(L'\r')) {
            line.remove_suffix(1);
        }
        if (trimBlanks(line).empty() || line.starts_with(L'#')) {
            continue;
        }
        picked = ScriptLine{std::wstring(line), number};
        ++counted;
    }
    return picked;
}

}  // namespace tavrel::webpost
