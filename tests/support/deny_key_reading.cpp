// Makes HKLM\<first argument> (32-bit view) a key that nobody may read, creating it when
// needed: for the check that run-tests.cmd takes a key it cannot read for one that is
// there, not for one that is missing. Exits 0 when the key is so.
#include <windows.h>

int main(int argc, char** argv) {
    if (argc != 2) {
        return 2;
    }
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, argv[1], 0, nullptr, 0, WRITE_DAC | KEY_WOW64_32KEY,
                        nullptr, &key, nullptr) != ERROR_SUCCESS) {
        return 1;
    }
    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
    PSID everyone = nullptr;
    alignas(ACL) BYTE aclBytes[256];
    auto* acl = reinterpret_cast<ACL*>(aclBytes);
    SECURITY_DESCRIPTOR security;
    const bool denied =
        AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone) &&
        InitializeAcl(acl, sizeof aclBytes, ACL_REVISION) &&
        AddAccessDeniedAce(acl, ACL_REVISION, KEY_ALL_ACCESS, everyone) &&
        InitializeSecurityDescriptor(&security, SECURITY_DESCRIPTOR_REVISION) &&
        SetSecurityDescriptorDacl(&security, TRUE, acl, FALSE) &&
        RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, &security) == ERROR_SUCCESS;
    if (everyone != nullptr) {
        FreeSid(everyone);
    }
    RegCloseKey(key);
    return denied ? 0 : 1;
}
