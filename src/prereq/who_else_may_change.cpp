#include "prereq/who_else_may_change.h"

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "platform/error.h"

namespace tavrel {

namespace {

constexpr std::wstring_view kLocalSystem = L"S-1-5-18";
constexpr std::wstring_view kAdministrators = L"S-1-5-32-544";
constexpr std::wstring_view kTrustedInstaller =
    L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";
constexpr std::wstring_view kOwnerRights = L"S-1-3-4";

constexpr std::uint32_t kGenericAll = 0x10000000;
constexpr std::uint32_t kGenericWrite = 0x40000000;
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
    {kGenericWrite, L"GENERIC_WRITE"},
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
    switch (place) {
        case ObjectPlace::FolderAbove:
            return kReplaceBelow | kDelete;
        case ObjectPlace::DriveRoot:
            return kReplaceBelow;
        case ObjectPlace::UsedItself:
            break;
    }
    return ~std::uint32_t{0};
}

std::wstring nameOf(FileSystem& fso, const std::wstring& sid) {
    if (sid.empty()) {
        return L"Everyone";
    }
    return withTrap([&] { return fso.accountName(sid); }, [&](const Error&) { return sid; });
}

bool isSeparator(wchar_t c) {
    return c == L'\\' || c == L'/';
}

std::vector<std::wstring> partsOf(const std::wstring& path) {
    std::vector<std::wstring> parts;
    std::wstring part;
    for (const wchar_t c : path) {
        if (!isSeparator(c)) {
            part += c;
        } else if (!part.empty()) {
            parts.push_back(std::exchange(part, {}));
        }
    }
    if (!part.empty()) {
        parts.push_back(part);
    }
    return parts;
}

}  // namespace

std::optional<OthersRight> findOthersRight(const ObjectSecurity& security, ObjectPlace place,
                                           std::wstring_view runningSid) {
    const auto trusted = [&](std::wstring_view sid) {
        return sid == kLocalSystem || sid == kAdministrators || sid == kTrustedInstaller ||
               (!runningSid.empty() && sid == runningSid);
    };
    if (!trusted(security.ownerSid)) {
        return OthersRight{security.ownerSid, L"owner"};
    }
    if (!security.hasDacl) {
        return OthersRight{{}, L"no DACL"};
    }
    const std::uint32_t counted = countedRights(place);
    for (const auto& entry : security.entries) {
        // OWNER RIGHTS grants what the owner, trusted by now, may do.
        if (!entry.allows || entry.inheritOnly || entry.sid == kOwnerRights || trusted(entry.sid)) {
            continue;
        }
        for (const auto& right : kChangeRights) {
            if ((entry.mask & right.mask & counted) != 0) {
                return OthersRight{entry.sid, right.name};
            }
        }
    }
    return std::nullopt;
}

std::optional<std::wstring> whoElseMayChange(FileSystem& fso, const std::wstring& path,
                                             ObjectPlace place, bool absentIsSafe) {
    // An account the system cannot name is trusted nowhere.
    const std::wstring runningSid = withTrap([&] { return fso.runningAccountSid(); },
                                             [](const Error&) { return std::wstring(); });
    return withTrap(
        [&]() -> std::optional<std::wstring> {
            const std::optional<OthersRight> found =
                findOthersRight(fso.readSecurity(path), place, runningSid);
            if (!found) {
                return std::nullopt;
            }
            return path + L" may be changed by " + nameOf(fso, found->sid) + L" (" + found->right +
                   L")";
        },
        [&](const Error& error) -> std::optional<std::wstring> {
            if (absentIsSafe && (error.number() == errnum::kFileNotFound ||
                                 error.number() == errnum::kPathNotFound)) {
                return std::nullopt;
            }
            return path + L" may be changed by anyone (its owner and DACL cannot be read: " +
                   error.description() + L")";
        });
}

std::optional<std::wstring> whoElseMayChangeFolder(FileSystem& fso, const std::wstring& folder) {
    const std::vector<std::wstring> parts = partsOf(folder);
    const bool share = folder.size() >= 2 && isSeparator(folder[0]) && isSeparator(folder[1]);
    const std::size_t rootParts = share ? 2 : 1;
    if (parts.size() < rootParts) {
        return whoElseMayChange(fso, folder, ObjectPlace::UsedItself);
    }
    // From the folder up: each path without its trailing backslash, the root's with it.
    std::wstring root = share ? L"\\\\" + parts[0] + L"\\" + parts[1] : parts[0];
    std::vector<std::wstring> chain;
    std::wstring path = root;
    for (std::size_t i = rootParts; i < parts.size(); ++i) {
        path += L"\\" + parts[i];
        chain.push_back(path);
    }
    root += L"\\";
    if (chain.empty()) {
        return whoElseMayChange(fso, root, ObjectPlace::UsedItself);
    }
    for (std::size_t i = chain.size(); i-- > 0;) {
        const ObjectPlace place =
            i + 1 == chain.size() ? ObjectPlace::UsedItself : ObjectPlace::FolderAbove;
        if (auto why = whoElseMayChange(fso, chain[i], place)) {
            return why;
        }
    }
    return whoElseMayChange(fso, root, ObjectPlace::DriveRoot);
}

}  // namespace tavrel
