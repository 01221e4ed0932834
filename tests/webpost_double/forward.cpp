#include "forward.h"

#include <windows.h>
#include <winhttp.h>

#include <cstddef>
#include <string_view>

#include "platform/win32/unique_resource.h"
#include "utf8.h"

namespace tavrel::webpost {

namespace {

using UniqueInternet = win32::UniqueResource<HINTERNET, &::WinHttpCloseHandle>;

constexpr std::wstring_view kLocalPrefix = L"http://127.0.0.1:";
constexpr int kTimeoutMs = 5000;

// Returns the HTTP status, or 0 with `error` telling why the post failed.
DWORD postTo(unsigned short port, const std::wstring& path, const std::string& body, DWORD& error) {
    error = 0;
    UniqueInternet session(WinHttpOpen(L"Mavlin.WebPost test double", WINHTTP_ACCESS_TYPE_NO_PROXY,
                                       WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
    if (!session ||
        !WinHttpSetTimeouts(session.get(), kTimeoutMs, kTimeoutMs, kTimeoutMs, kTimeoutMs)) {
        error = GetLastError();
        return 0;
    }
    UniqueInternet connection(WinHttpConnect(session.get(), L"127.0.0.1", port, 0));
    if (!connection) {
        error = GetLastError();
        return 0;
    }
    UniqueInternet request(WinHttpOpenRequest(connection.get(), L"POST", path.c_str(), nullptr,
                                              WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, 0));
    const wchar_t* headers = L"Content-Type: text/xml; charset=utf-8\r\n";
    if (!request ||
        !WinHttpSendRequest(request.get(), headers, static_cast<DWORD>(-1L),
                            const_cast<char*>(body.data()), static_cast<DWORD>(body.size()),
                            static_cast<DWORD>(body.size()), 0) ||
        !WinHttpReceiveResponse(request.get(), nullptr)) {
        error = GetLastError();
        return 0;
    }
    DWORD status = 0;
    DWORD size = sizeof status;
    if (!WinHttpQueryHeaders(request.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                             WINHTTP_HEADER_NAME_BY_INDEX, &status, &size,
                             WINHTTP_NO_HEADER_INDEX)) {
        error = GetLastError();
        return 0;
    }
    return status;
}

}  // namespace

std::optional<unsigned short> localPortOf(const std::wstring& url) {
    if (!url.starts_with(kLocalPrefix)) {
        return std::nullopt;
    }
    unsigned long port = 0;
    std::size_t at = kLocalPrefix.size();
    while (at < url.size() && url[at] >= L'0' && url[at] <= L'9' && port <= 65535) {
        port = port * 10 + static_cast<unsigned long>(url[at] - L'0');
        ++at;
    }
    if (at == kLocalPrefix.size() || at >= url.size() || url[at] != L'/' || port == 0 ||
        port > 65535) {
        return std::nullopt;
    }
    return static_cast<unsigned short>(port);
}

std::optional<std::wstring> forwardReport(const std::wstring& url, const std::wstring& body) {
    const auto port = localPortOf(url);
    if (!port) {
        return std::nullopt;
    }
    const std::wstring path = url.substr(url.find(L'/', kLocalPrefix.size()));
    DWORD error = 0;
    const DWORD status = postTo(*port, path, toUtf8(body), error);
    if (status == 0) {
        return L"forward " + url + L" failed " + std::to_wstring(error);
    }
    return L"forward " + url + L" status " + std::to_wstring(status);
}

}  // namespace tavrel::webpost
