// Mavlin.journal: one record per call of PostXMLString, appended next to the DLL, so that
// tests in another process can see what the program handed over.
#pragma once

#include <oaidl.h>
#include <windows.h>

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tavrel::webpost {

/// "VT_BYREF|VT_BSTR" and the like.
std::wstring nameOfType(VARTYPE type);

/// The value as the journal shows it: the text of a BSTR, true or false for a VT_BOOL,
/// nothing for VT_EMPTY and VT_NULL, the standard text conversion for anything else.
std::wstring textOfValue(const VARIANT& value);

/// "<label> 0x4008 VT_BYREF|VT_BSTR <value>"; the blank before the value is always there.
std::wstring describeVariant(std::wstring_view label, const VARIANT& value);

/// "0x8002000E".
std::wstring hexOf(unsigned long value, int digits);

class Journal {
  public:
    explicit Journal(std::wstring path) : path_(std::move(path)) {}

    /// How many records the journal holds: its lines that start a call.
    unsigned countCalls() const;

    /// Appends the record in one write, each line in UTF-8 and ended by CR LF; characters
    /// below U+0020 become \xHH so that a value never spans lines. Failures are ignored:
    /// a missing journal shows in the test that reads it.
    void append(const std::vector<std::wstring>& lines) const;

  private:
    std::wstring path_;
};

/// Reads a whole file as UTF-8 text, a leading BOM dropped; false when it cannot be opened.
bool readTextFile(const std::wstring& path, std::wstring& text);

}  // namespace tavrel::webpost
