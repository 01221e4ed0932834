// Text rules shared by every subsystem.
#pragma once

#include <cstddef>
#include <cstdint>
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

/// Appends the low `digits` hexadecimal digits of the number, in upper case.
inline void appendHex(std::wstring& out, std::uint32_t value, int digits) {
    for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) {
        out += L"0123456789ABCDEF"[(value >> shift) & 0xFu];
    }
}

}  // namespace tavrel
