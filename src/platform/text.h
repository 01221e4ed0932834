// Text rules shared by every subsystem.
#pragma once

#include <cstddef>
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

/// Appends the number in decimal, with leading zeros up to `width` digits.
inline void appendPadded(std::wstring& out, int value, int width) {
    const std::wstring digits = std::to_wstring(value);
    if (digits.size() < static_cast<std::size_t>(width)) {
        out.append(static_cast<std::size_t>(width) - digits.size(), L'0');
    }
    out += digits;
}

}  // namespace tavrel
