#include "prereq/who_else_may_change.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cwctype>

#include "log/run_log.h"
#include "platform/error.h"
#include "platform/text.h"

namespace tavrel {

namespace {

constexpr const wchar_t* kTrusted[] = {
    L"S-1-5-18", L"S-1-5-32-544",
    L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464"};
constexpr const wchar_t* kOwnerRights = L"S-1-3-4";
constexpr const wchar_t* kNoDacl = L"no DACL";

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
// user may add folders to a drive's root, which replaces nothing, and no one deletes a
// root, a share's or a volume's.
std::uint32_t countedRights(ObjectPlace place) {
    constexpr std::uint32_t kReplaceBelow =
        kGenericAll | kWriteDac | kWriteOwner | kFileDeleteChild;
    if (place == ObjectPlace::FolderAbove) {
        return kReplaceBelow | kDelete;
    }
    return place == ObjectPlace::Root ? kReplaceBelow : ~std::uint32_t{0};
}

bool isTrusted(const std::wstring& sid, const std::wstring& runningSid) {
    for (const wchar_t* trusted : kTrusted) {
        if (sid == trusted) {
            return true;
        }
    }
    return !runningSid.empty() && sid == runningSid;
}

// More links than this on the way to one object count as others'.
constexpr int kMostLinks = 8;
constexpr const wchar_t* kSeparators = L"\\/";

// One given path's judgement: the links met on every walk it takes.
struct Walk {
    FileSystem& fso;
    std::wstring runningSid;  // read at the first object
    int links = 0;
    bool absent = false;  // the given object does not exist, where that is safe
};

// The object's name in a line; a link's with where it leads.
std::wstring nameInLine(FileSystem& fso, const std::wstring& path, bool isLink) {
    if (!isLink) {
        return path;
    }
    std::wstring target = L"where it cannot be resolved";
    ignoreFailure([&] { target = fso.finalPath(path); });
    return path + L" (a link to " + target + L")";
}

std::wstring othersText(FileSystem& fso, const OthersRight& found) {
    std::wstring text = L" may be changed by ";
    if (!found.sid.empty()) {
        return text + fso.accountName(found.sid) + L" (" + found.right + L")";
    }
    if (found.unknownType < 0) {
        return text + (found.right == kNoDacl ? L"Everyone (" : L"anyone (") + found.right + L")";
    }
    text += L"anyone (";
    text += found.right;
    appendHex(text, static_cast<std::uint32_t>(found.unknownType), 2);
    return text + L")";
}

// The object as it stands at its name, not through it.
std::wstring judgeObject(Walk& walk, const std::wstring& path, ObjectPlace place,
                         bool absentIsSafe) {
    std::wstring why;
    ObjectSecurity security;
    const bool read = withTrap(
        [&] {
            security = walk.fso.readSecurity(path);
            return true;
        },
        [&](const Error& error) {
            walk.absent = absentIsSafe && (error.number() == errnum::kFileNotFound ||
                                           error.number() == errnum::kPathNotFound);
            if (!walk.absent) {
                why = path + L" may be changed by anyone (its owner and DACL cannot be read: " +
                      error.description() + L")";
            }
            return false;
        });
    // Without the running account, whether it is the one that may change the object is
    // unknown, not the object's security.
    if (read && walk.runningSid.empty()) {
        withTrap([&] { walk.runningSid = walk.fso.runningAccountSid(); },
                 [&](const Error& error) {
                     why = path + L" cannot be judged: the running account cannot be read (" +
                           error.description() + L")";
                 });
    }
    if (!read || !why.empty()) {
        return why;
    }
    walk.links += security.isLink ? 1 : 0;
    const OthersRight found = findOthersRight(security, place, walk.runningSid);
    if (found.right != nullptr) {
        why = nameInLine(walk.fso, path, security.isLink) + othersText(walk.fso, found);
    }
    return why;
}

// Each object on the path as it stands, from the object up to its root: the first
// `usedLevels` with every right counted, the rest as folders above.
std::wstring walkUp(Walk& walk, const std::wstring& path, int usedLevels) {
    // The root, "C:", "\\server\share" or "\\?\Volume{...}", is asked last, with its
    // backslash.
    std::size_t rootLength = 2;
    if (path.find_first_of(kSeparators) == 0) {
        rootLength = path.find_first_of(kSeparators, path.find_first_of(kSeparators, 2) + 1);
    }
    rootLength = std::min(rootLength, path.size());
    int level = 0;
    std::size_t end = path.find_last_not_of(kSeparators) + 1;
    while (end > rootLength) {
        const ObjectPlace place =
            level < usedLevels ? ObjectPlace::UsedItself : ObjectPlace::FolderAbove;
        std::wstring why = judgeObject(walk, path.substr(0, end), place, false);
        if (!why.empty()) {
            return why;
        }
        const std::size_t cut = path.find_last_of(kSeparators, end - 1);
        end = cut == std::wstring::npos || cut < rootLength
                  ? rootLength
                  : path.find_last_not_of(kSeparators, cut) + 1;
        ++level;
    }
    return judgeObject(walk, path.substr(0, rootLength) + L"\\",
                       level < usedLevels ? ObjectPlace::UsedItself : ObjectPlace::Root, false);
}

// Names of one object, as Windows compares them; a name that differs only in a form
// this misses costs one more walk, never a wrong answer.
std::wstring comparable(const std::wstring& path) {
    std::wstring form;
    for (const wchar_t c : path) {
        const wchar_t unit = c == L'/' ? L'\\' : static_cast<wchar_t>(std::towupper(c));
        if (unit != L'\\' || form.empty() || form.back() != L'\\') {
            form += unit;
        }
    }
    while (!form.empty() && form.back() == L'\\') {
        form.pop_back();
    }
    return form;
}

// Where Windows reaches through the name, judged as if it had been given, and the count
// of links on the way.
std::wstring judgeWhereItLeads(Walk& walk, const std::wstring& given, int usedLevels) {
    std::wstring target;
    std::wstring why = withTrap(
        [&] {
            target = walk.fso.finalPath(given);
            return std::wstring();
        },
        [&](const Error& error) {
            return given + L" may be changed by anyone (where it leads cannot be resolved: " +
                   error.description() + L")";
        });
    if (why.empty() && comparable(target) != comparable(given)) {
        why = walkUp(walk, target, usedLevels);
        if (!why.empty()) {
            why = given + L" leads to " + target + L", and " + why;
        }
    }
    if (why.empty() && walk.links > kMostLinks) {
        why = given + L" may be changed by anyone (it leads through more than 8 links)";
    }
    return why;
}

}  // namespace

OthersRight findOthersRight(const ObjectSecurity& security, ObjectPlace place,
                            const std::wstring& runningSid) {
    if (security.ownerSid.empty()) {
        return OthersRight{{}, L"it has no owner"};
    }
    if (!isTrusted(security.ownerSid, runningSid)) {
        return OthersRight{security.ownerSid, L"owner"};
    }
    if (!security.hasDacl) {
        return OthersRight{{}, kNoDacl};
    }
    const std::uint32_t counted = countedRights(place);
    for (const auto& entry : security.entries) {
        // What the check cannot read, it does not take for safe.
        if (entry.unknownType >= 0) {
            return OthersRight{
                {}, L"its DACL holds an entry of unknown type 0x", entry.unknownType};
        }
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
    Walk walk{fso, {}};
    std::wstring why = judgeObject(walk, path, place, absentIsSafe);
    // A file's own folder is where Windows first looks for what it loads: every right
    // there counts, wherever a link leads.
    return why.empty() && !walk.absent ? judgeWhereItLeads(walk, path, 2) : why;
}

std::wstring whoElseMayChangeFolder(FileSystem& fso, const std::wstring& folder) {
    Walk walk{fso, {}};
    std::wstring why = walkUp(walk, folder, 1);
    return why.empty() ? judgeWhereItLeads(walk, folder, 1) : why;
}

void logOthersMayChange(RunContext& run, const std::wstring& why, const wchar_t* consequence) {
    std::wstring line = L"ERR : ";
    line += why;
    line += consequence;
    writeLog(run, line);
}

}  // namespace tavrel
