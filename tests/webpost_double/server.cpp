// The in-process server around WebPost: its class factory, its registration and the four
// exports regsvr32 and COM look for.
#include <olectl.h>
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <new>
#include <string>

#include "journal.h"
#include "server.h"
#include "support/agent_guard.h"
#include "web_post.h"

namespace {

// Fixed for good: the program finds the class through its ProgID only.
constexpr CLSID kWebPostClsid = {
    0x8a1cc926, 0x0601, 0x4b2b, {0x8e, 0x6d, 0xea, 0x4c, 0x74, 0xa2, 0xdf, 0xb6}};
constexpr const wchar_t* kClsidText = L"{8A1CC926-0601-4B2B-8E6D-EA4C74A2DFB6}";
constexpr const wchar_t* kClassKey = L"CLSID\\{8A1CC926-0601-4B2B-8E6D-EA4C74A2DFB6}";
constexpr const wchar_t* kProgId = L"Mavlin.WebPost";
constexpr const wchar_t* kTitle = L"Mavlin.WebPost test double";

HMODULE gModule = nullptr;
std::atomic<long> gLocks{0};
std::atomic<std::uint32_t> gUnloadDelayMs{0};

std::wstring modulePath() {
    std::wstring path(MAX_PATH, L'\0');
    while (true) {
        const DWORD length =
            GetModuleFileNameW(gModule, path.data(), static_cast<DWORD>(path.size()));
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

LONG setText(const std::wstring& keyPath, const wchar_t* name, const std::wstring& text) {
    HKEY key = nullptr;
    LONG result = RegCreateKeyExW(HKEY_CLASSES_ROOT, keyPath.c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                                  nullptr, &key, nullptr);
    if (result == ERROR_SUCCESS) {
        result = RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                                static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
        RegCloseKey(key);
    }
    return result;
}

class Factory final : public IClassFactory {
  public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (object == nullptr) {
            return E_POINTER;
        }
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
            *object = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    // One static factory: its references only hold the DLL.
    ULONG STDMETHODCALLTYPE AddRef() override {
        tavrel::webpost::lockServer();
        return 2;
    }
    ULONG STDMETHODCALLTYPE Release() override {
        tavrel::webpost::unlockServer();
        return 1;
    }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
        if (object == nullptr) {
            return E_POINTER;
        }
        *object = nullptr;
        if (outer != nullptr) {
            return CLASS_E_NOAGGREGATION;
        }
        auto* post = new (std::nothrow) tavrel::webpost::WebPost(tavrel::webpost::serverFolder());
        if (post == nullptr) {
            return E_OUTOFMEMORY;
        }
        const HRESULT result = post->QueryInterface(iid, object);
        post->Release();
        return result;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        lock ? tavrel::webpost::lockServer() : tavrel::webpost::unlockServer();
        return S_OK;
    }
};

Factory gFactory;

}  // namespace

namespace tavrel::webpost {

void lockServer() {
    ++gLocks;
}

void unlockServer() {
    --gLocks;
}

void holdUnload(std::uint32_t milliseconds) {
    gUnloadDelayMs = milliseconds;
}

std::wstring serverFolder() {
    const std::wstring path = modulePath();
    return path.substr(0, path.find_last_of(L'\\'));
}

}  // namespace tavrel::webpost

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        gModule = instance;
        DisableThreadLibraryCalls(instance);
    } else if (reason == DLL_PROCESS_DETACH && gUnloadDelayMs > 0) {
        // Journalled, so a test can tell a held unload from one never reached.
        tavrel::webpost::Journal(tavrel::webpost::serverFolder() + L"\\Mavlin.journal")
            .append({L"unload held for " + std::to_wstring(gUnloadDelayMs) + L" ms"});
        Sleep(gUnloadDelayMs);
    }
    return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* object) {
    if (object == nullptr) {
        return E_POINTER;
    }
    *object = nullptr;
    if (!IsEqualCLSID(clsid, kWebPostClsid)) {
        return CLASS_E_CLASSNOTAVAILABLE;
    }
    return gFactory.QueryInterface(iid, object);
}

STDAPI DllCanUnloadNow() {
    return gLocks == 0 ? S_OK : S_FALSE;
}

STDAPI DllRegisterServer() {
    try {
        const std::wstring classKey = kClassKey;
        const LONG results[] = {
            setText(kProgId, nullptr, kTitle),
            // Marks the ProgID and the class as the double's: the tests may delete them, not
            // an agent's.
            setText(kProgId, tavrel::testguard::kMadeByTestsValue,
                    tavrel::testguard::kMadeByTestsText),
            setText(std::wstring(kProgId) + L"\\CLSID", nullptr, kClsidText),
            setText(classKey, nullptr, kTitle),
            setText(classKey, tavrel::testguard::kMadeByTestsValue,
                    tavrel::testguard::kMadeByTestsText),
            setText(classKey + L"\\ProgID", nullptr, kProgId),
            setText(classKey + L"\\InprocServer32", nullptr, modulePath()),
            setText(classKey + L"\\InprocServer32", L"ThreadingModel", L"Apartment"),
        };
        for (const LONG result : results) {
            if (result != ERROR_SUCCESS) {
                return HRESULT_FROM_WIN32(result);
            }
        }
        return S_OK;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

STDAPI DllUnregisterServer() {
    HRESULT outcome = S_OK;
    // A key already gone is what unregistering wants.
    for (const wchar_t* key : {kProgId, kClassKey}) {
        const LONG result = RegDeleteTreeW(HKEY_CLASSES_ROOT, key);
        if (result != ERROR_SUCCESS && result != ERROR_FILE_NOT_FOUND) {
            outcome = HRESULT_FROM_WIN32(result);
        }
    }
    return outcome;
}
