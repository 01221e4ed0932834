// Who, other than the accounts the program trusts, may change a file or folder. A library
// others may replace, or a folder they may turn into a link, would have the run load their
// code or write its files wherever they chose, with the rights it runs with.
#pragma once

#include <string>

#include "context/run_state.h"
#include "platform/file_system.h"

namespace tavrel {

// Where an object stands: what is used itself, or a folder above it, where only what lets
// someone replace the folder below counts, or the root of a drive, a share or a volume.
enum class ObjectPlace { UsedItself, FolderAbove, Root };

// An account the program does not trust, and the right that lets it change the object.
struct OthersRight {
    std::wstring sid;                // empty where anyone may
    const wchar_t* right = nullptr;  // the right, or why anyone may; nullptr where no one may
    int unknownType = -1;            // an entry's type the check cannot read, where that is why
};

/// The first account other than the system, the administrators, TrustedInstaller and
/// runningSid that may change the object, and by which right. Deny entries are not
/// weighed: a deny entry never makes an allow entry safe.
OthersRight findOthersRight(const ObjectSecurity& security, ObjectPlace place,
                            const std::wstring& runningSid);

/// Why others may change the object at path, as a log line's text that names the object
/// (and, for a link, where it leads), the account and the right; empty when no one else
/// may. The object is judged as it stands at its name, then, where Windows reaches
/// another path through it, that path as if it had been given, the folder of what it
/// reaches with every right counted. A descriptor that cannot be read, a path that cannot
/// be resolved and more than 8 links on the way count as "others may", with the reason,
/// except, where absentIsSafe, for an object that does not exist.
std::wstring whoElseMayChange(FileSystem& fso, const std::wstring& path, ObjectPlace place,
                              bool absentIsSafe = false);

/// whoElseMayChange for a folder itself, then for each folder above it up to its root
/// (a drive's, \\server\share or a volume's), then the same for where it leads.
std::wstring whoElseMayChangeFolder(FileSystem& fso, const std::wstring& folder);

/// Logs "ERR : ", why and what the run does about it.
void logOthersMayChange(RunContext& run, const std::wstring& why, const wchar_t* consequence);

}  // namespace tavrel
