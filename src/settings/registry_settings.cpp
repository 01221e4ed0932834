#include "settings/registry_settings.h"

#include "log/run_log.h"
#include "platform/error.h"
#include "platform/text.h"

namespace tavrel {

namespace {

constexpr std::wstring_view kSupportedAgentType = L"VAMR";

std::wstring errorLine(const Error& error) {
    return L"ERR  : " + signedDecimalText(error.number()) + L" : " + error.description();
}

void logReaderError(RunContext& run, const Error& error) {
    writeLog(run, errorLine(error));
    writeLog(run, L"MSG : Application finished.");
}

std::wstring readNormalised(RunContext& run, const RegistryKey& key, std::wstring_view name) {
    return run.os.system.toUpperInvariant(trimSpaces(readRegistryValue(run, key, name)));
}

// MEMBERID and SITEID: stored before they are judged, logged whatever they hold.
bool readIdentity(RunContext& run, const RegistryKey& key, std::wstring_view name,
                  std::wstring& stored, std::wstring_view logPrefix) {
    bool found = false;
    return withTrap(
        [&] {
            stored = readNormalised(run, key, name);
            found = !stored.empty();
            writeLog(run, std::wstring(logPrefix) + stored);
            return found;
        },
        [&](const Error& error) {
            logReaderError(run, error);
            return found;
        });
}

bool isSeparator(wchar_t c) {
    return c == L'\\' || c == L'/';
}

bool isAsciiLetter(wchar_t c) {
    return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z');
}

}  // namespace

bool isAbsoluteFolderPath(std::wstring_view path) {
    if (path.size() >= 3 && isAsciiLetter(path[0]) && path[1] == L':' && isSeparator(path[2])) {
        return true;
    }
    if (path.size() < 2 || !isSeparator(path[0]) || !isSeparator(path[1])) {
        return false;
    }
    // "\\server\share": the device forms "\\?\" and "\\.\" have no server.
    const std::wstring_view rest = path.substr(2);
    const auto serverEnd = rest.find_first_of(L"\\/");
    const std::wstring_view server = rest.substr(0, serverEnd);
    if (serverEnd == std::wstring_view::npos || server.empty() || server == L"." ||
        server.find_first_of(L"?*") != std::wstring_view::npos) {
        return false;
    }
    const std::wstring_view share = rest.substr(serverEnd + 1);
    return !share.empty() && !isSeparator(share.front());
}

std::wstring readRegistryValue(RunContext& run, const RegistryKey& key,
                               std::wstring_view valueName) {
    const std::wstring name(valueName);
    return withTrap(
        [&]() -> std::wstring {
            Registry& registry = run.os.registry;
            const RegistryValueSize size = registry.queryValueSize(key.handle(), name);
            if (size.resultCode != 0) {
                run.state.exitStatus = ExitStatus::AgentSettingsMissing;
                writeLog(run, L"ERR  : " + name + L" is Missing in Registy");
                writeLog(run, L"MSG : Application finished.");
                endRunAtOnce(run);
            }
            if (size.type != kRegSz) {
                return {};
            }
            const RegistryValueData data =
                registry.queryValueData(key.handle(), name, size.byteCount);
            if (data.resultCode != 0) {
                return {};
            }
            const auto nul = data.text.find(L'\0');
            if (nul == std::wstring::npos) {
                throw Error(errnum::kInvalidCall, L"Invalid procedure call or argument");
            }
            return trimSpaces(std::wstring_view(data.text).substr(0, nul));
        },
        [&](const Error& error) {
            writeLog(run, errorLine(error));
            return std::wstring();
        });
}

bool getMemberID(RunContext& run, const RegistryKey& key) {
    return readIdentity(run, key, L"MEMBERID", run.state.gMemberID, L"MSG : Member ID :--> ");
}

bool getSiteID(RunContext& run, const RegistryKey& key) {
    return readIdentity(run, key, L"SITEID", run.state.gSiteID, L"MSG : SITE ID :--> ");
}

bool checkAgentType(RunContext& run, const RegistryKey& key) {
    bool supported = false;
    return withTrap(
        [&] {
            run.state.gAgentType = readNormalised(run, key, L"TYPE");
            supported = run.state.gAgentType == kSupportedAgentType;
            writeLog(run, L"MSG : Agent Type  :--> " + run.state.gAgentType);
            return supported;
        },
        [&](const Error& error) {
            logReaderError(run, error);
            return supported;
        });
}

std::wstring getInstallationPath(RunContext& run, const RegistryKey& key) {
    return withTrap(
        [&] {
            std::wstring path = trimSpaces(readRegistryValue(run, key, L"InstallationPath"));
            if (!path.empty() && path.back() != L'\\') {
                path += L'\\';
            }
            return path;
        },
        [&](const Error& error) {
            logReaderError(run, error);
            return std::wstring();
        });
}

}  // namespace tavrel
