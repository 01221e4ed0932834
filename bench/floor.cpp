// The floor of a Tavrel run: only the external calls a normal run cannot avoid, in the
// order it makes them, and nothing of the program's own work (no log, no registry, no
// settings, no files). The benchmark sets a run's time and memory against this one's.
//
// Argument: the agent's installation folder, ending in a backslash. The exit code has
// one bit per step that failed, so the benchmark can tell that the floor did it all.
#include <objbase.h>
#include <oleauto.h>
#include <windows.h>
#include <wrl/client.h>

using Microsoft::WRL::ComPtr;

namespace {

// Late-bound property reads have to offer both, as the program's WMI calls do.
constexpr WORD kPropertyGet = DISPATCH_METHOD | DISPATCH_PROPERTYGET;

struct Bstr {
    explicit Bstr(const wchar_t* text) : value(SysAllocString(text)) {}
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    ~Bstr() { SysFreeString(value); }
    BSTR value;
};

struct Variant {
    Variant() { VariantInit(&value); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
    ~Variant() { VariantClear(&value); }
    VARIANT value;
};

VARIANTARG textArg(BSTR text) {
    VARIANTARG arg;
    VariantInit(&arg);
    V_VT(&arg) = VT_BSTR;
    V_BSTR(&arg) = text;
    return arg;
}

VARIANTARG textRefArg(BSTR* text) {
    VARIANTARG arg;
    VariantInit(&arg);
    V_VT(&arg) = VT_BYREF | VT_BSTR;
    V_BSTRREF(&arg) = text;
    return arg;
}

ComPtr<IDispatch> createObject(const wchar_t* progId) {
    CLSID classId{};
    ComPtr<IDispatch> object;
    if (SUCCEEDED(CLSIDFromProgID(progId, &classId))) {
        CoCreateInstance(classId, nullptr, CLSCTX_SERVER, IID_IDispatch,
                         reinterpret_cast<void**>(object.GetAddressOf()));
    }
    return object;
}

HRESULT invoke(IDispatch* object, const wchar_t* name, WORD flags, VARIANTARG* reversed, UINT count,
               VARIANT* result) {
    if (object == nullptr) {
        return E_POINTER;
    }
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    DISPID member = DISPID_UNKNOWN;
    HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &member);
    if (FAILED(hr)) {
        return hr;
    }
    DISPID putId = DISPID_PROPERTYPUT;
    DISPPARAMS params{reversed, nullptr, count, 0};
    if (flags == DISPATCH_PROPERTYPUT) {
        params.rgdispidNamedArgs = &putId;
        params.cNamedArgs = 1;
    }
    EXCEPINFO exception{};
    UINT argumentError = 0;
    return object->Invoke(member, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, &exception,
                          &argumentError);
}

ComPtr<IDispatch> objectIn(const VARIANT& value) {
    ComPtr<IDispatch> object;
    if ((V_VT(&value) == VT_DISPATCH || V_VT(&value) == VT_UNKNOWN) && V_UNKNOWN(&value)) {
        V_UNKNOWN(&value)->QueryInterface(IID_IDispatch,
                                          reinterpret_cast<void**>(object.GetAddressOf()));
    }
    return object;
}

bool startRegistration(const wchar_t* installFolder) {
    // Fixed buffers and no C++ library: the floor should cost nothing of its own.
    wchar_t application[MAX_PATH + 16];
    const UINT length = GetSystemDirectoryW(application, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return false;
    }
    lstrcatW(application, L"\\regsvr32.exe");
    wchar_t commandLine[2 * MAX_PATH];
    if (lstrlenW(installFolder) > MAX_PATH) {
        return false;
    }
    lstrcpyW(commandLine, L"regsvr32.exe -s \"");
    lstrcatW(commandLine, installFolder);
    lstrcatW(commandLine, L"Mavlin.dll\"");
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(application, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        return false;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}

// The moniker, then the locator route; true when the query ran and was enumerated.
bool queryWmi() {
    ComPtr<IDispatch> service;
    CoGetObject(L"winmgmts:\\\\.\\root\\cimv2", nullptr, IID_IDispatch,
                reinterpret_cast<void**>(service.GetAddressOf()));
    ComPtr<IDispatch> locator = createObject(L"WbemScripting.SWbemLocator");

    Variant security;
    invoke(locator.Get(), L"Security_", kPropertyGet, nullptr, 0, &security.value);
    VARIANTARG level;
    VariantInit(&level);
    V_VT(&level) = VT_I4;
    V_I4(&level) = 3;
    invoke(objectIn(security.value).Get(), L"ImpersonationLevel", DISPATCH_PROPERTYPUT, &level, 1,
           nullptr);

    Bstr server(L"."), nameSpace(L"root\\CIMV2"), user(L""), password(L"");
    VARIANTARG connectArgs[] = {textArg(password.value), textArg(user.value),
                                textArg(nameSpace.value), textArg(server.value)};
    Variant connection;
    invoke(locator.Get(), L"ConnectServer", DISPATCH_METHOD, connectArgs, 4, &connection.value);

    Bstr query(L"Select * From Win32_PerfFormattedData_PerfOS_System");
    VARIANTARG queryArgs[] = {textArg(query.value)};
    Variant collection;
    if (FAILED(invoke(objectIn(connection.value).Get(), L"ExecQuery", DISPATCH_METHOD, queryArgs, 1,
                      &collection.value))) {
        return false;
    }
    ComPtr<IDispatch> results = objectIn(collection.value);
    if (!results) {
        return false;
    }
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    Variant enumerator;
    if (FAILED(results->Invoke(DISPID_NEWENUM, IID_NULL, LOCALE_USER_DEFAULT, kPropertyGet, &none,
                               &enumerator.value, nullptr, nullptr)) ||
        (V_VT(&enumerator.value) != VT_UNKNOWN && V_VT(&enumerator.value) != VT_DISPATCH) ||
        V_UNKNOWN(&enumerator.value) == nullptr) {
        return false;
    }
    ComPtr<IEnumVARIANT> items;
    if (FAILED(V_UNKNOWN(&enumerator.value)
                   ->QueryInterface(IID_IEnumVARIANT,
                                    reinterpret_cast<void**>(items.GetAddressOf())))) {
        return false;
    }
    for (;;) {
        Variant item;
        ULONG fetched = 0;
        if (items->Next(1, &item.value, &fetched) != S_OK || fetched == 0) {
            return true;
        }
        Variant upTime;
        invoke(objectIn(item.value).Get(), L"SystemUpTime", kPropertyGet, nullptr, 0,
               &upTime.value);
    }
}

bool postReport() {
    ComPtr<IDispatch> webPost = createObject(L"Mavlin.WebPost");
    // Texts of the size a run posts.
    Bstr report(
        L"<wpsysuptimedata><regid>417</regid><uptime>10872</uptime>"
        L"<mndtime>12/8/2026 8:43:38</mndtime></wpsysuptimedata>");
    Bstr queryString(
        L"https://webpost.quenda.invalid/tfr_wpsysuptimedata.asp?mmid=M-1001&sid=S-2002&rid=417"
        L"&rty=VAMR");
    Bstr fourth(L""), fifth(L""), reply1(L""), reply2(L""), reply3(L""), reply4(L"");
    VARIANTARG flag;
    VariantInit(&flag);
    V_VT(&flag) = VT_BOOL;
    V_BOOL(&flag) = VARIANT_FALSE;
    VARIANTARG reversed[] = {textRefArg(&reply4.value),      textRefArg(&reply3.value),
                             textRefArg(&reply2.value),      textRefArg(&reply1.value),
                             textArg(fifth.value),           textArg(fourth.value),
                             textRefArg(&queryString.value), flag,
                             textRefArg(&report.value)};
    Variant result;
    return SUCCEEDED(
        invoke(webPost.Get(), L"PostXMLString", DISPATCH_METHOD, reversed, 9, &result.value));
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR commandLine, int) {
    int failed = 0;
    const bool initialised = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    if (!initialised) {
        failed |= 1;
    }
    {
        if (!createObject(L"Scripting.FileSystemObject")) {
            failed |= 2;
        }
        if (!startRegistration(commandLine)) {
            failed |= 4;
        }
        Sleep(1000);
        if (!queryWmi()) {
            failed |= 8;
        }
        volatile ULONGLONG ticks = GetTickCount64();
        (void)ticks;
        if (!postReport()) {
            failed |= 16;
        }
    }
    if (initialised) {
        CoUninitialize();
    }
    return failed;
}
