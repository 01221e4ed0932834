// Who owns a file or folder and what its DACL grants, read as the system holds them.
#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

#include <string>
#include <vector>

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

bool isAllowEntry(BYTE type) {
    return type == ACCESS_ALLOWED_ACE_TYPE || type == ACCESS_ALLOWED_CALLBACK_ACE_TYPE ||
           type == ACCESS_ALLOWED_OBJECT_ACE_TYPE ||
           type == ACCESS_ALLOWED_CALLBACK_OBJECT_ACE_TYPE;
}

}  // namespace

ObjectSecurity Win32FileSystem::readSecurity(const std::wstring& path) {
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const DWORD result = GetNamedSecurityInfoW(
        path.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
        &owner, nullptr, &dacl, nullptr, &descriptor);
    if (result != ERROR_SUCCESS) {
        throw errorFromWin32(result);
    }
    const LocalMemory held(descriptor);
    ObjectSecurity security;
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
        entry.inheritOnly = (header->AceFlags & INHERIT_ONLY_ACE) != 0;
        // Every kind of entry keeps its mask just after its header.
        entry.mask = reinterpret_cast<ACCESS_ALLOWED_ACE*>(header)->Mask;
        if (entry.allows) {
            entry.sid = sidText(sidOf(header));
        }
    }
    return security;
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

std::wstring Win32FileSystem::longPathName(const std::wstring& path) {
    // No path is longer than this, its terminator included.
    constexpr DWORD kLongest = 32768;
    std::wstring expanded(kLongest, L'\0');
    std::wstring full(kLongest, L'\0');
    DWORD length = ExpandEnvironmentStringsW(path.c_str(), expanded.data(), kLongest);
    if (length != 0 && length <= kLongest) {
        length = GetFullPathNameW(expanded.c_str(), kLongest, full.data(), nullptr);
    }
    // The long form may take the place of the full one.
    if (length != 0 && length < kLongest) {
        length = GetLongPathNameW(full.c_str(), full.data(), kLongest);
    }
    full.resize(length < kLongest ? length : 0);
    return full;
}

}  // namespace tavrel::win32
