#include "prereq/who_else_may_change.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "log/run_log.h"
#include "platform/error.h"

namespace tavrel {

namespace {

constexpr const wchar_t* kTrusted[] = {
    L"S-1-5-18", L"S-1-5-32-544",
    L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464"};
constexpr const wchar_t* kOwnerRights = L"S-1-3-4";

constexpr std::uint32_t kGenericAll = 0x10000000;
constexpr std::uint32_t kWriteDac = 0x00040000;
constexpr std::uint32_t kWriteOwner = 0x00080000;
constexpr std::uint32_t kDelete = 0x00010000;
constexpr std::uint32_t kFileDeleteChild = 0x0040;

struct NamedRight {
    std::uint32_t mask;
    const wchar_t* name;
};

// Every right that lets someone change a file or folder, in the order the log names the
// first an entry holds.
constexpr NamedRight kChangeRights[] = {
    {kGenericAll, L"GENERIC_ALL"},
    {0x40000000, L"GENERIC_WRITE"},
    {kWriteDac, L"WRITE_DAC"},
    {kWriteOwner, L"WRITE_OWNER"},
    {kDelete, L"DELETE"},
    {0x0002, L"FILE_WRITE_DATA"},
    {0x0004, L"FILE_APPEND_DATA"},
    {0x0010, L"FILE_WRITE_EA"},
    {0x0100, L"FILE_WRITE_ATTRIBUTES"},
    {kFileDeleteChild, L"FILE_DELETE_CHILD"},
};

// Above the folder used, only what lets someone replace the folder below counts: its
// rights or owner changed, a child deleted, or the folder itself deleted. Every signed-in
// user may add folders to a drive's root, which replaces nothing, and no one deletes it.
std::uint32_t countedRights(ObjectPlace place) {
    constexpr std::uint32_t kReplaceBelow =
        kGenericAll | kWriteDac | kWriteOwner | kFileDeleteChild;
    if (place == ObjectPlace::FolderAbove) {
        return kReplaceBelow | kDelete;
    }
    return place == ObjectPlace::DriveRoot ? kReplaceBelow : ~std::uint32_t{0};
}

bool isTrusted(const std::wstring& sid, const std::wstring& runningSid) {
    for (const wchar_t* trusted : kTrusted) {
        if (sid == trusted) {
            return true;
        }
    }
    return !runningSid.empty() && sid == runningSid;
}

}  // namespace

OthersRight findOthersRight(const ObjectSecurity& security, ObjectPlace place,
                            const std::wstring& runningSid) {
    if (!isTrusted(security.ownerSid, runningSid)) {
        return OthersRight{security.ownerSid, L"owner"};
    }
    if (!security.hasDacl) {
        return OthersRight{{}, L"no DACL"};
    }
    const std::uint32_t counted = countedRights(place);
    for (const auto& entry : security.entries) {
        // OWNER RIGHTS grants what the owner, trusted by now, may do.
        if (!entry.allows || entry.inheritOnly || entry.sid == kOwnerRights ||
            isTrusted(entry.sid, runningSid)) {
            continue;
        }
        for (const auto& right : kChangeRights) {
            if ((entry.mask & right.mask & counted) != 0) {
                return OthersRight{entry.sid, right.name};
            }
        }
    }
    return {};
}

std::wstring whoElseMayChange(FileSystem& fso, const std::wstring& path, ObjectPlace place,
                              bool absentIsSafe) {
    std::wstring why;
    withTrap(
        [&] {
            const OthersRight found =
                findOthersRight(fso.readSecurity(path), place, fso.runningAccountSid());
            if (found.right != nullptr) {
                why = path;
                why += L" may be changed by ";
                why += found.sid.empty() ? L"Everyone" : fso.accountName(found.sid);
                why += L" (";
                why += found.right;
                why += L")";
            }
        },
        [&](const Error& error) {
            if (!absentIsSafe || (error.number() != errnum::kFileNotFound &&
                                  error.number() != errnum::kPathNotFound)) {
                why = path;
                why += L" may be changed by anyone (its owner and DACL cannot be read: ";
                why += error.description();
                why += L")";
            }
        });
    return why;
}

std::wstring whoElseMayChangeFolder(FileSystem& fso, const std::wstring& folder) {
    constexpr const wchar_t* kSeparators = L"\\/";
    // The root, "C:" or "\\server\share", is asked last, with its backslash.
    std::size_t rootLength = 2;
    if (folder.find_first_of(kSeparators) == 0) {
        rootLength = folder.find_first_of(kSeparators, folder.find_first_of(kSeparators, 2) + 1);
    }
    rootLength = std::min(rootLength, folder.size());
    // From the folder up, each without its trailing backslashes.
    ObjectPlace place = ObjectPlace::UsedItself;
    std::size_t end = folder.find_last_not_of(kSeparators) + 1;
    while (end > rootLength) {
        std::wstring why = whoElseMayChange(fso, folder.substr(0, end), place);
        if (!why.empty()) {
            return why;
        }
        const std::size_t cut = folder.find_last_of(kSeparators, end - 1);
        end = cut == std::wstring::npos || cut < rootLength
                  ? rootLength
                  : folder.find_last_not_of(kSeparators, cut) + 1;
        place = ObjectPlace::FolderAbove;
    }
    return whoElseMayChange(fso, folder.substr(0, rootLength) + L"\\",
                            place == ObjectPlace::UsedItself ? place : ObjectPlace::DriveRoot);
}

void logOthersMayChange(RunContext& run, const std::wstring& why, const wchar_t* consequence) {
    std::wstring line = L"ERR : ";
    line += why;
    line += consequence;
    writeLog(run, line);
}

}  // namespace tavrel
