// Who owns a file or folder and what its DACL grants, read as the system holds them.
#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

#include <cstddef>
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

// Calls a function that fills a buffer of the size it is given and answers the size it
// needs (with its terminator) when that is more; 0 is failure.
template <class Fill>
std::wstring filledText(Fill&& fill) {
    std::wstring text(MAX_PATH, L'\0');
    DWORD length = fill(text.data(), static_cast<DWORD>(text.size()));
    if (length > text.size()) {
        text.assign(length, L'\0');
        length = fill(text.data(), static_cast<DWORD>(text.size()));
    }
    if (length == 0 || length > text.size()) {
        throwLastError();
    }
    text.resize(length);
    return text;
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
    for (DWORD i = 0; dacl != nullptr && i < dacl->AceCount; ++i) {
        ACE_HEADER* header = nullptr;
        if (!GetAce(dacl, i, reinterpret_cast<void**>(&header))) {
            throwLastError();
        }
        AccessEntry entry;
        entry.allows = isAllowEntry(header->AceType);
        entry.inheritOnly = (header->AceFlags & INHERIT_ONLY_ACE) != 0;
        // Every kind of entry keeps its mask just after its header.
        entry.mask = reinterpret_cast<ACCESS_ALLOWED_ACE*>(header)->Mask;
        if (entry.allows) {
            entry.sid = sidText(sidOf(header));
        }
        security.entries.push_back(entry);
    }
    return security;
}

std::wstring Win32FileSystem::runningAccountSid() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        throwLastError();
    }
    const UniqueHandle held(token);
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<BYTE> buffer(size == 0 ? sizeof(TOKEN_USER) : size);
    if (!GetTokenInformation(token, TokenUser, buffer.data(), static_cast<DWORD>(buffer.size()),
                             &size)) {
        throwLastError();
    }
    return sidText(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid);
}

std::wstring Win32FileSystem::accountName(const std::wstring& sid) {
    PSID binary = nullptr;
    if (!ConvertStringSidToSidW(sid.c_str(), &binary)) {
        throwLastError();
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
    const std::wstring expanded = filledText([&](wchar_t* buffer, DWORD size) {
        const DWORD needed = ExpandEnvironmentStringsW(path.c_str(), buffer, size);
        // Counted with the terminator either way.
        return needed <= size && needed != 0 ? needed - 1 : needed;
    });
    return filledText([&](wchar_t* buffer, DWORD size) {
        return GetLongPathNameW(expanded.c_str(), buffer, size);
    });
}

}  // namespace tavrel::win32
