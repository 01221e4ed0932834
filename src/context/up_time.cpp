#include "context/up_time.h"

#include "platform/error.h"
#include "platform/text.h"

namespace tavrel {

std::wstring UpTime::text() const {
    if (const auto* seconds = std::get_if<std::uint64_t>(&value_)) {
        return decimalText(*seconds);
    }
    return std::get<std::wstring>(value_);
}

bool UpTime::isZero() const {
    if (const auto* seconds = std::get_if<std::uint64_t>(&value_)) {
        return *seconds == 0;
    }
    // Decimal digits, blanks around them allowed, as a numeric reading of text takes them.
    const std::wstring digits = trimSpaces(std::get<std::wstring>(value_));
    if (digits.empty() || digits.find_first_not_of(L"0123456789") != std::wstring::npos) {
        throw Error(13, L"Type mismatch");
    }
    return digits.find_first_not_of(L'0') == std::wstring::npos;
}

}  // namespace tavrel
