#include "platform/win32/redirection_guard.h"

#include <windows.h>

namespace tavrel::win32 {

namespace {

// MinGW's headers lack the policy; its number and layout are Windows'
// (ProcessRedirectionTrustPolicy, PROCESS_MITIGATION_REDIRECTION_TRUST_POLICY).
constexpr int kProcessRedirectionTrustPolicy = 16;
constexpr DWORD kEnforceRedirectionTrust = 0x1;

struct RedirectionTrustPolicy {
    DWORD flags;
};

using SetProcessMitigationPolicyFunction = BOOL(WINAPI*)(int policy, void* buffer, SIZE_T size);

}  // namespace

void askForRedirectionGuard() {
    // Looked up, never imported: Windows 7 has no such function, and the program runs there.
    const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    const FARPROC found =
        kernel != nullptr ? GetProcAddress(kernel, "SetProcessMitigationPolicy") : nullptr;
    if (found == nullptr) {
        return;
    }
    RedirectionTrustPolicy policy{kEnforceRedirectionTrust};
    // A refusal leaves the check to stand alone, as on the systems without the policy.
    reinterpret_cast<SetProcessMitigationPolicyFunction>(reinterpret_cast<void*>(found))(
        kProcessRedirectionTrustPolicy, &policy, sizeof policy);
}

}  // namespace tavrel::win32
