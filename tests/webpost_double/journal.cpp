#include "journal.h"

#include <oleauto.h>

#include <cstddef>
#include <cwchar>

#include "platform/win32/unique_resource.h"
#include "utf8.h"

namespace tavrel::webpost {

namespace {

struct TypeName {
    VARTYPE type;
    const wchar_t* name;
};

constexpr TypeName kTypeNames[] = {
    {VT_EMPTY, L"VT_EMPTY"},     {VT_NULL, L"VT_NULL"},
    {VT_I2, L"VT_I2"},           {VT_I4, L"VT_I4"},
    {VT_R4, L"VT_R4"},           {VT_R8, L"VT_R8"},
    {VT_CY, L"VT_CY"},           {VT_DATE, L"VT_DATE"},
    {VT_BSTR, L"VT_BSTR"},       {VT_DISPATCH, L"VT_DISPATCH"},
    {VT_ERROR, L"VT_ERROR"},     {VT_BOOL, L"VT_BOOL"},
    {VT_VARIANT, L"VT_VARIANT"}, {VT_UNKNOWN, L"VT_UNKNOWN"},
    {VT_DECIMAL, L"VT_DECIMAL"}, {VT_I1, L"VT_I1"},
    {VT_UI1, L"VT_UI1"},         {VT_UI2, L"VT_UI2"},
    {VT_UI4, L"VT_UI4"},         {VT_I8, L"VT_I8"},
    {VT_UI8, L"VT_UI8"},         {VT_INT, L"VT_INT"},
    {VT_UINT, L"VT_UINT"},
};

std::wstring textOfBstr(BSTR text) {
    return text == nullptr ? std::wstring() : std::wstring(text, SysStringLen(text));
}

std::wstring escapeControls(const std::wstring& line) {
    std::wstring escaped;
    for (const wchar_t c : line) {
        if (c < L' ') {
            escaped += L"\\x" + hexOf(c, 2).substr(2);
        } else {
            escaped += c;
        }
    }
    return escaped;
}

}  // namespace

std::wstring hexOf(unsigned long value, int digits) {
    wchar_t buffer[16];
    std::swprintf(buffer, 16, L"0x%0*lX", digits, value);
    return buffer;
}

std::wstring nameOfType(VARTYPE type) {
    std::wstring name;
    if ((type & VT_BYREF) != 0) {
        name += L"VT_BYREF|";
    }
    if ((type & VT_ARRAY) != 0) {
        name += L"VT_ARRAY|";
    }
    const VARTYPE base = type & VT_TYPEMASK;
    for (const auto& known : kTypeNames) {
        if (known.type == base) {
            return name + known.name;
        }
    }
    return name + L"VT_" + hexOf(base, 2);
}

std::wstring textOfValue(const VARIANT& value) {
    const VARTYPE type = V_VT(&value);
    const bool byRef = (type & VT_BYREF) != 0;
    if ((type & VT_ARRAY) == 0) {
        switch (type & VT_TYPEMASK) {
            case VT_EMPTY:
            case VT_NULL:
                return L"";
            case VT_BSTR:
                return textOfBstr(byRef ? *V_BSTRREF(&value) : V_BSTR(&value));
            case VT_BOOL: {
                const VARIANT_BOOL flag = byRef ? *V_BOOLREF(&value) : V_BOOL(&value);
                if (flag == VARIANT_TRUE || flag == VARIANT_FALSE) {
                    return flag == VARIANT_TRUE ? L"true" : L"false";
                }
                // Any other bit pattern is a caller's fault worth seeing as it is.
                return hexOf(static_cast<unsigned short>(flag), 4);
            }
            default:
                break;
        }
    }
    VARIANT copy;
    VariantInit(&copy);
    std::wstring text = L"?";
    if (SUCCEEDED(VariantCopyInd(&copy, const_cast<VARIANT*>(&value))) &&
        SUCCEEDED(VariantChangeType(&copy, &copy, 0, VT_BSTR))) {
        text = textOfBstr(V_BSTR(&copy));
    }
    VariantClear(&copy);
    return text;
}

std::wstring describeVariant(std::wstring_view label, const VARIANT& value) {
    return std::wstring(label) + L" " + hexOf(V_VT(&value), 4) + L" " + nameOfType(V_VT(&value)) +
           L" " + textOfValue(value);
}

bool readTextFile(const std::wstring& path, std::wstring& text) {
    const auto file = win32::ownFileHandle(CreateFileW(path.c_str(), GENERIC_READ,
                                                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                                       OPEN_EXISTING, 0, nullptr));
    if (!file) {
        return false;
    }
    std::string bytes;
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(file.get(), buffer, sizeof buffer, &read, nullptr) && read > 0) {
        bytes.append(buffer, read);
    }
    if (bytes.starts_with("\xEF\xBB\xBF")) {
        bytes.erase(0, 3);
    }
    text = fromUtf8(bytes);
    return true;
}

unsigned Journal::countCalls() const {
    std::wstring text;
    if (!readTextFile(path_, text)) {
        return 0;
    }
    unsigned calls = 0;
    std::size_t start = 0;
    while (start < text.size()) {
        if (text.compare(start, 5, L"call ") == 0) {
            ++calls;
        }
        const auto newline = text.find(L'\n', start);
        start = newline == std::wstring::npos ? text.size() : newline + 1;
    }
    return calls;
}

void Journal::append(const std::vector<std::wstring>& lines) const {
    std::string bytes;
    for (const auto& line : lines) {
        bytes += toUtf8(escapeControls(line)) + "\r\n";
    }
    const auto file =
        win32::ownFileHandle(CreateFileW(path_.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                                         OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    if (file) {
        WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    }
}

}  // namespace tavrel::webpost
