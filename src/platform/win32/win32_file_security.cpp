// Who owns a file or folder and what its DACL grants, read as the system holds them.
#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/error.h"
#include "platform/win32/unique_resource.h"
#include "platform/win32/win32_error.h"
#include "platform/win32/win32_file_system.h"

namespace tavrel::win32 {

namespace {

using LocalMemory = UniqueResource<HLOCAL, &::LocalFree>;

std::wstring sidText(PSID sid) {
    LPWSTR text = nullptr;
    if (!ConvertSidToStringSidW(sid, &text)) {
        throwLastError();
    }
    const LocalMemory held(text);
    return text;
}

// The account an allow entry names; object entries keep it after their optional GUIDs.
PSID sidOf(ACE_HEADER* header) {
    if (header->AceType == ACCESS_ALLOWED_OBJECT_ACE_TYPE ||
        header->AceType == ACCESS_ALLOWED_CALLBACK_OBJECT_ACE_TYPE) {
        auto* ace = reinterpret_cast<ACCESS_ALLOWED_OBJECT_ACE*>(header);
        auto* sid = reinterpret_cast<BYTE*>(&ace->ObjectType);
        sid += (ace->Flags & ACE_OBJECT_TYPE_PRESENT) != 0 ? sizeof(GUID) : 0;
        sid += (ace->Flags & ACE_INHERITED_OBJECT_TYPE_PRESENT) != 0 ? sizeof(GUID) : 0;
        return sid;
    }
    return &reinterpret_cast<ACCESS_ALLOWED_ACE*>(header)->SidStart;
}

// A conditional (callback) allow may grant: it counts as an allow.
bool isAllowEntry(BYTE type) {
    return type == ACCESS_ALLOWED_ACE_TYPE || type == ACCESS_ALLOWED_CALLBACK_ACE_TYPE ||
           type == ACCESS_ALLOWED_OBJECT_ACE_TYPE ||
           type == ACCESS_ALLOWED_CALLBACK_OBJECT_ACE_TYPE;
}

bool isDenyEntry(BYTE type) {
    return type == ACCESS_DENIED_ACE_TYPE || type == ACCESS_DENIED_OBJECT_ACE_TYPE ||
           type == ACCESS_DENIED_CALLBACK_ACE_TYPE ||
           type == ACCESS_DENIED_CALLBACK_OBJECT_ACE_TYPE;
}

// Opened for what its attributes say, every sharing allowed; throws Error.
UniqueHandle openObject(const std::wstring& path, DWORD access, DWORD flags) {
    UniqueHandle object =
        ownFileHandle(CreateFileW(path.c_str(), access | FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, flags | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!object) {
        throwLastError();
    }
    return object;
}

BY_HANDLE_FILE_INFORMATION informationOf(const UniqueHandle& object) {
    BY_HANDLE_FILE_INFORMATION information{};
    if (!GetFileInformationByHandle(object.get(), &information)) {
        throwLastError();
    }
    return information;
}

// A final path as the walk takes it: without "\\?\", and "\\?\UNC\" as "\\".
std::wstring withoutPrefix(std::wstring path) {
    if (path.starts_with(L"\\\\?\\UNC\\")) {
        return L"\\" + path.substr(7);
    }
    const bool driveLetter = path.size() > 5 && path[5] == L':';
    return path.starts_with(L"\\\\?\\") && driveLetter ? path.substr(4) : path;
}

std::wstring finalPathOf(HANDLE object, DWORD volumeName) {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetFinalPathNameByHandleW(object, path.data(),
                                                       static_cast<DWORD>(path.size()), volumeName);
        if (length == 0) {
            throwLastError();
        }
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(length + 1);
    }
}

}  // namespace

ObjectSecurity Win32FileSystem::readSecurity(const std::wstring& path) {
    // The object at the name, a link itself where it is one, not what it leads to.
    const UniqueHandle object = openObject(path, READ_CONTROL, FILE_FLAG_OPEN_REPARSE_POINT);
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const DWORD result = GetSecurityInfo(object.get(), SE_FILE_OBJECT,
                                         OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                         &owner, nullptr, &dacl, nullptr, &descriptor);
    if (result != ERROR_SUCCESS) {
        throw errorFromWin32(result);
    }
    const LocalMemory held(descriptor);
    ObjectSecurity security;
    security.isLink = (informationOf(object).dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    security.ownerSid = owner != nullptr ? sidText(owner) : std::wstring();
    security.hasDacl = dacl != nullptr;
    security.entries = std::vector<AccessEntry>(dacl != nullptr ? dacl->AceCount : 0);
    for (DWORD i = 0; i < security.entries.size(); ++i) {
        ACE_HEADER* header = nullptr;
        if (!GetAce(dacl, i, reinterpret_cast<void**>(&header))) {
            throwLastError();
        }
        AccessEntry& entry = security.entries[i];
        entry.allows = isAllowEntry(header->AceType);
        entry.unknownType = entry.allows || isDenyEntry(header->AceType) ? -1 : header->AceType;
        entry.inheritOnly = (header->AceFlags & INHERIT_ONLY_ACE) != 0;
        // Every kind of entry keeps its mask just after its header.
        entry.mask = reinterpret_cast<ACCESS_ALLOWED_ACE*>(header)->Mask;
        if (entry.allows) {
            entry.sid = sidText(sidOf(header));
        }
    }
    return security;
}

std::wstring Win32FileSystem::finalPath(const std::wstring& path) {
    const UniqueHandle object = openObject(path, 0, 0);
    // A volume without a drive letter has no DOS name: its GUID path stands instead.
    std::wstring reached;
    withTrap([&] { reached = finalPathOf(object.get(), VOLUME_NAME_DOS); },
             [&](const Error&) { reached = finalPathOf(object.get(), VOLUME_NAME_GUID); });
    return withoutPrefix(reached);
}

FileIdentity Win32FileSystem::fileIdentity(const std::wstring& path) {
    const BY_HANDLE_FILE_INFORMATION information = informationOf(openObject(path, 0, 0));
    return FileIdentity{
        information.dwVolumeSerialNumber,
        (std::uint64_t{information.nFileIndexHigh} << 32) | information.nFileIndexLow};
}

std::wstring Win32FileSystem::runningAccountSid() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        throwLastError();
    }
    const UniqueHandle held(token);
    alignas(TOKEN_USER) BYTE user[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE] = {};
    DWORD size = 0;
    if (!GetTokenInformation(token, TokenUser, user, sizeof user, &size)) {
        throwLastError();
    }
    return sidText(reinterpret_cast<TOKEN_USER*>(user)->User.Sid);
}

std::wstring Win32FileSystem::accountName(const std::wstring& sid) {
    PSID binary = nullptr;
    if (!ConvertStringSidToSidW(sid.c_str(), &binary)) {
        return sid;
    }
    const LocalMemory held(binary);
    wchar_t name[256] = {};
    wchar_t domain[256] = {};
    DWORD nameSize = 256;
    DWORD domainSize = 256;
    SID_NAME_USE use{};
    if (!LookupAccountSidW(nullptr, binary, name, &nameSize, domain, &domainSize, &use)) {
        return sid;
    }
    return domain[0] == L'\0' ? std::wstring(name) : std::wstring(domain) + L"\\" + name;
}

}  // namespace tavrel::win32
