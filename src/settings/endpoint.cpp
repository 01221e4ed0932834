#include "settings/endpoint.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "log/run_log.h"
#include "platform/error.h"
#include "platform/text.h"

namespace tavrel {

namespace {

constexpr std::uint32_t kProfileBufferSize = 5000;

std::wstring endpointFilePath(RunContext& run) {
    return run.state.gInstallPath + L"Configuration\\Norvick.ini";
}

}  // namespace

std::wstring readNorvick(RunContext& run, std::wstring_view section) {
    return withTrap(
        [&]() -> std::wstring {
            writeLog(run, L"MSG : Getting URL for " + std::wstring(section));
            if (!run.state.gFso->fileExists(endpointFilePath(run))) {
                writeLog(run, L"MSG : Norvick.ini not found.");
                return {};
            }
            std::wstring url =
                trimSpaces(readIniValue(run, section, L"URL", endpointFilePath(run)));
            writeLog(run, L"MSG : URL is " + url);
            return url;
        },
        [&](const Error& error) {
            writeLog(run, L"ERR : in readNorvick function() " + error.description());
            return std::wstring();
        });
}

std::wstring readIniValue(RunContext& run, std::wstring_view section, std::wstring_view key,
                          std::wstring_view filePath) {
    ProfileString read;
    ignoreFailure([&] {
        read = run.os.profiles.readString(std::wstring(section), std::wstring(key), L"",
                                          kProfileBufferSize, std::wstring(filePath));
    });
    std::wstring value;
    ignoreFailure([&] {
        std::wstring withoutNuls = read.buffer;
        std::erase(withoutNuls, L'\0');
        if (trimSpaces(withoutNuls).empty()) {
            return;
        }
        // Whatever count comes back, nothing past the buffer is read, and nothing past the
        // NUL that ends the copied characters: an overstated count must not carry the
        // buffer's NULs into the value.
        const std::size_t count = std::min<std::size_t>(read.count, read.buffer.size());
        const std::wstring_view copied = std::wstring_view(read.buffer).substr(0, count);
        value = trimSpaces(copied.substr(0, copied.find(L'\0')));
    });
    return value;
}

}  // namespace tavrel
