// One line of Mavlin.script: how the double answers one call of PostXMLString.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tavrel::webpost {

enum class AnswerKind {
    Boolean,
    Integer,
    Text,
    Empty,
    Null,
    Raise,
    // No answer: the call ends its caller, or tries to.
    Fault,
    Overflow,
    Abort,
    Throw,
    ThreadFault,
    Exit,
    FastFail,
};

struct ScriptStep {
    AnswerKind kind = AnswerKind::Boolean;
    bool boolean = true;
    std::int32_t integer = 0;
    /// The text of a str: answer, or the description of the error to raise.
    std::wstring text;
    std::uint32_t raiseCode = 0;
    /// New contents of arguments 6 to 9; nothing leaves the caller's text as it is.
    std::array<std::optional<std::wstring>, 4> replies;
    /// New contents of argument 1, the report.
    std::optional<std::wstring> report;
    std::uint32_t delayMs = 0;
    /// How long the DLL's process-detach notification waits, once this call was made.
    std::uint32_t unloadDelayMs = 0;
    /// Whether the call first puts a fault filter of the library's own in place.
    bool ownFaultFilter = false;
    /// Whether the journal names the calling process and its parent.
    bool noteCaller = false;
};

struct ScriptLine {
    std::wstring text;
    /// 1-based line number in the file, for messages about a line that cannot be read.
    unsigned number = 0;
};

/// Parses one line; on a line that cannot be read returns nothing and says why in `problem`.
std::optional<ScriptStep> parseScriptLine(std::wstring_view line, std::wstring& problem);

/// The line that governs call `callNumber` (1-based): blank lines and lines starting with
/// '#' do not count, a call beyond the last line gets the last line, and a script without
/// lines gives nothing.
std::optional<ScriptLine> pickScriptLine(std::wstring_view script, unsigned callNumber);

}  // namespace tavrel::webpost
