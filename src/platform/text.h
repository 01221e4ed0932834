// Text rules shared by every subsystem.
#pragma once

#include <string>
#include <string_view>

namespace tavrel {

/// Removes leading and trailing blanks (U+0020) only; tabs and other white space stay.
inline std::wstring trimSpaces(std::wstring_view text) {
    const auto first = text.find_first_not_of(L' ');
    if (first == std::wstring_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(L' ');
    return std::wstring(text.substr(first, last - first + 1));
}

/// Upper-cases the letters a to z; the agent's identifiers are plain ASCII, and this
/// keeps the result the same whatever the machine's locale.
inline std::wstring toUpperAscii(std::wstring text) {
    for (auto& c : text) {
        if (c >= L'a' && c <= L'z') {
            c = static_cast<wchar_t>(c - L'a' + L'A');
        }
    }
    return text;
}

}  // namespace tavrel
