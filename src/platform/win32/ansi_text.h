// Conversions between wide text and the system ANSI code page.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tavrel::win32 {

/// A text's length as the int the system's text functions take. Throws the
/// out-of-memory Error for a text longer than they can take.
int checkedLength(std::size_t size);

/// Wide text in the system ANSI code page; embedded NULs are kept, characters the
/// code page lacks become its default character.
std::string wideToAnsi(std::wstring_view text);

/// Bytes in the system ANSI code page as wide text; embedded NULs are kept.
std::wstring ansiToWide(std::string_view bytes);

}  // namespace tavrel::win32
