#include "double_harness.h"

#include <ws2tcpip.h>

#include <cstddef>
#include <stdexcept>

#include "platform/win32/unique_resource.h"
#include "support/test_host.h"

namespace tavrel::webpost {

namespace {

constexpr DWORD kRegsvrTimeoutMs = 60000;

void require(bool ok, const char* what) {
    if (!ok) {
        throw std::runtime_error(std::string(what) + " failed, error " +
                                 std::to_string(GetLastError()));
    }
}

// Content-Length of a request head, 0 when it has none.
std::size_t contentLengthOf(const std::string& head) {
    std::string lower;
    for (const char c : head) {
        lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    }
    const auto at = lower.find("\r\ncontent-length:");
    return at == std::string::npos ? 0 : std::stoul(head.substr(at + 17));
}

}  // namespace

DWORD runRegsvr32(const std::wstring& arguments) {
    wchar_t system[MAX_PATH] = {};
    require(GetSystemDirectoryW(system, MAX_PATH) > 0, "GetSystemDirectory");
    std::wstring command = L"\"" + std::wstring(system) + L"\\regsvr32.exe\" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    require(CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                           &startup, &process),
            "CreateProcess regsvr32");
    win32::UniqueHandle processHandle(process.hProcess);
    win32::UniqueHandle threadHandle(process.hThread);
    require(WaitForSingleObject(process.hProcess, kRegsvrTimeoutMs) == WAIT_OBJECT_0,
            "waiting for regsvr32");
    DWORD exitCode = 0;
    GetExitCodeProcess(process.hProcess, &exitCode);
    return exitCode;
}

std::wstring copyDoubleInto(const std::wstring& folderName) {
    wchar_t temp[MAX_PATH] = {};
    require(GetTempPathW(MAX_PATH, temp) > 0, "GetTempPath");
    const std::wstring folder = std::wstring(temp) + folderName;
    CreateDirectoryW(folder.c_str(), nullptr);
    for (const wchar_t* name : {L"\\Mavlin.script", L"\\Mavlin.journal"}) {
        DeleteFileW((folder + name).c_str());
    }
    require(CopyFileW(testhost::pathBesideThisProgram(L"Mavlin.dll").c_str(),
                      (folder + L"\\Mavlin.dll").c_str(), FALSE),
            "CopyFile");
    return folder;
}

void writeFileBytes(const std::wstring& path, const std::string& bytes) {
    auto file = win32::ownFileHandle(
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    require(static_cast<bool>(file), "CreateFile");
    DWORD written = 0;
    require(
        WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr),
        "WriteFile");
}

std::optional<std::vector<std::string>> readFileLines(const std::wstring& path) {
    auto file = win32::ownFileHandle(CreateFileW(path.c_str(), GENERIC_READ,
                                                 FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                                 OPEN_EXISTING, 0, nullptr));
    if (!file) {
        return std::nullopt;
    }
    std::string bytes;
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(file.get(), buffer, sizeof buffer, &read, nullptr) && read > 0) {
        bytes.append(buffer, read);
    }
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < bytes.size()) {
        const auto end = bytes.find("\r\n", start);
        lines.push_back(bytes.substr(start, end - start));
        start = end == std::string::npos ? bytes.size() : end + 2;
    }
    return lines;
}

PostCall::~PostCall() {
    clearOutcome();
}

void PostCall::clearOutcome() {
    VariantClear(&result);
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrDescription);
    SysFreeString(exception.bstrHelpFile);
    exception = EXCEPINFO{};
}

HRESULT PostCall::invoke(IDispatch& post, UINT count, WORD flags) {
    clearOutcome();
    Bstr empty4(L"");
    Bstr empty5(L"");
    // In call order; automation wants them last first.
    std::vector<VARIANT> inOrder(9);
    const auto byRef = [](VARIANT& slot, Bstr& text) {
        V_VT(&slot) = VT_BYREF | VT_BSTR;
        V_BSTRREF(&slot) = text.address();
    };
    byRef(inOrder[0], report);
    V_VT(&inOrder[1]) = VT_BOOL;
    V_BOOL(&inOrder[1]) = VARIANT_FALSE;
    byRef(inOrder[2], query);
    V_VT(&inOrder[3]) = VT_BSTR;
    V_BSTR(&inOrder[3]) = empty4.get();
    V_VT(&inOrder[4]) = VT_BSTR;
    V_BSTR(&inOrder[4]) = empty5.get();
    for (int i = 0; i < 4; ++i) {
        byRef(inOrder[static_cast<std::size_t>(5 + i)], replies[i]);
    }
    inOrder.resize(count);  // VT_EMPTY past the ninth: value-initialised VARIANTs
    std::vector<VARIANT> reversed(inOrder.rbegin(), inOrder.rend());
    DISPPARAMS params{reversed.data(), nullptr, count, 0};
    UINT argumentError = 0;
    return post.Invoke(1, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, &result, &exception,
                       &argumentError);
}

LocalSink::LocalSink() {
    WSADATA data{};
    require(WSAStartup(MAKEWORD(2, 2), &data) == 0, "WSAStartup");
    listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int size = sizeof address;
    require(listener_ != INVALID_SOCKET &&
                bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                listen(listener_, 4) == 0 &&
                getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size) == 0,
            "listening on 127.0.0.1");
    port_ = ntohs(address.sin_port);
}

LocalSink::~LocalSink() {
    closesocket(listener_);
    WSACleanup();
}

std::optional<std::string> LocalSink::receive(int timeoutMs) {
    fd_set ready;
    FD_ZERO(&ready);
    FD_SET(listener_, &ready);
    timeval wait{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    if (select(0, &ready, nullptr, nullptr, &wait) != 1) {
        return std::nullopt;
    }
    const SOCKET peer = accept(listener_, nullptr, nullptr);
    if (peer == INVALID_SOCKET) {
        return std::nullopt;
    }
    std::string request;
    char buffer[4096];
    std::size_t headEnd = std::string::npos;
    while (headEnd == std::string::npos ||
           request.size() < headEnd + 4 + contentLengthOf(request.substr(0, headEnd))) {
        const int got = recv(peer, buffer, sizeof buffer, 0);
        if (got <= 0) {
            break;
        }
        request.append(buffer, static_cast<std::size_t>(got));
        headEnd = request.find("\r\n\r\n");
    }
    const std::string answer = "HTTP/1.1 200 OK\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
    send(peer, answer.data(), static_cast<int>(answer.size()), 0);
    closesocket(peer);
    return request;
}

}  // namespace tavrel::webpost
