// The agent's identity and installation folder, read from the open agent key.
#pragma once

#include <string>
#include <string_view>

#include "context/run_state.h"
#include "platform/registry.h"

namespace tavrel {

/// The value's text before its first NUL, trimmed; empty text for a value that is not
/// REG_SZ or cannot be read. A value the key does not have ends the process.
std::wstring readRegistryValue(RunContext& run, const RegistryKey& key,
                               std::wstring_view valueName);

/// Stores MEMBERID trimmed and upper-cased in gMemberID; true when it is not empty.
bool getMemberID(RunContext& run, const RegistryKey& key);

/// Stores SITEID trimmed and upper-cased in gSiteID; true when it is not empty.
bool getSiteID(RunContext& run, const RegistryKey& key);

/// Stores TYPE trimmed and upper-cased in gAgentType; true for the one supported type.
bool checkAgentType(RunContext& run, const RegistryKey& key);

/// InstallationPath trimmed and ending in a backslash, or empty text.
std::wstring getInstallationPath(RunContext& run, const RegistryKey& key);

/// True for a path that names one place whatever the working folder and drive: a
/// drive letter, ":" and a separator ("C:\", "C:/"), or "\\server\share" with a server
/// name. Drive- and root-relative, relative and device ("\\?\", "\\.\") paths are not.
bool isAbsoluteFolderPath(std::wstring_view path);

}  // namespace tavrel
