// Conversions between wide text and the system ANSI code page.
#pragma once

#include <string>
#include <string_view>

namespace tavrel::win32 {

/// Wide text in the system ANSI code page; embedded NULs are kept, characters the
/// code page lacks become its default character.
std::string wideToAnsi(std::wstring_view text);

/// Bytes in the system ANSI code page as wide text; embedded NULs are kept.
std::wstring ansiToWide(std::string_view bytes);

}  // namespace tavrel::win32
