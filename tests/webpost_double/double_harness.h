// Test support for the web-post double: a registered copy of Mavlin.dll in a folder of its
// own, one PostXMLString call with the nine arguments the program passes, and a local
// HTTP sink for the forwarded reports.
#pragma once

#include <oaidl.h>
#include <windows.h>
#include <winsock2.h>

#include <optional>
#include <string>
#include <vector>

namespace tavrel::webpost {

/// Runs the system's regsvr32 with these arguments and returns its exit code.
DWORD runRegsvr32(const std::wstring& arguments);

/// A fresh folder under the temp folder holding a copy of the built Mavlin.dll.
std::wstring copyDoubleInto(const std::wstring& folderName);

void writeFileBytes(const std::wstring& path, const std::string& bytes);
/// The file's lines without their CR LF; nothing when there is no file.
std::optional<std::vector<std::string>> readFileLines(const std::wstring& path);

class Bstr {
  public:
    explicit Bstr(const std::wstring& text)
        : value_(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
    ~Bstr() { SysFreeString(value_); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;

    BSTR* address() { return &value_; }
    BSTR get() const { return value_; }
    std::wstring text() const { return value_ ? std::wstring(value_, SysStringLen(value_)) : L""; }

  private:
    BSTR value_;
};

/// The program's variables for one series of tries: the reply texts stay across calls.
class PostCall {
  public:
    PostCall(const std::wstring& reportText, const std::wstring& queryText)
        : report(reportText), query(queryText) {}
    ~PostCall();
    PostCall(const PostCall&) = delete;
    PostCall& operator=(const PostCall&) = delete;

    /// Calls PostXMLString with the first `count` of the nine arguments (VT_EMPTY past the
    /// ninth), leaving the answer in `result` and any error in `exception`.
    HRESULT invoke(IDispatch& post, UINT count = 9, WORD flags = DISPATCH_METHOD);

    Bstr report;
    Bstr query;
    Bstr replies[4] = {Bstr(L""), Bstr(L""), Bstr(L""), Bstr(L"")};
    VARIANT result{};
    EXCEPINFO exception{};

  private:
    void clearOutcome();
};

/// One-request HTTP receiver on 127.0.0.1, answering 200.
class LocalSink {
  public:
    LocalSink();
    ~LocalSink();
    LocalSink(const LocalSink&) = delete;
    LocalSink& operator=(const LocalSink&) = delete;

    unsigned short port() const { return port_; }
    /// Waits up to `timeoutMs` for one request and returns it whole, headers and body.
    std::optional<std::string> receive(int timeoutMs);

  private:
    SOCKET listener_ = INVALID_SOCKET;
    unsigned short port_ = 0;
};

}  // namespace tavrel::webpost
