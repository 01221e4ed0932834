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

/// The number in decimal. Not std::to_wstring, which brings the C library's whole
/// printf, some 30 KiB, into the exe.
inline std::wstring decimalText(std::uint64_t value) {
    wchar_t digits[20];
    std::size_t count = 0;
    do {
        digits[count++] = static_cast<wchar_t>(L'0' + value % 10);
        value /= 10;
    } while (value != 0);
    std::wstring text;
    while (count > 0) {
        text += digits[--count];
    }
    return text;
}

/// The number in decimal, with a minus sign when it is negative.
inline std::wstring signedDecimalText(std::int64_t value) {
    return value < 0 ? L"-" + decimalText(0 - static_cast<std::uint64_t>(value))
                     : decimalText(static_cast<std::uint64_t>(value));
}

/// Appends the number in decimal, with leading zeros up to `width` digits.
inline void appendPadded(std::wstring& out, int value, int width) {
    const std::wstring digits = signedDecimalText(value);
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
