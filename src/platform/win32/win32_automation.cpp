#include "platform/win32/win32_automation.h"

#include <tlhelp32.h>

#include <utility>

#include "platform/win32/com_error.h"
#include "platform/win32/unique_resource.h"
#include "platform/win32/win32_error.h"
#include "platform/win32/win32_file_system.h"

namespace tavrel::win32 {

namespace {

class Win32AutomationObject : public AutomationObject {
  public:
    explicit Win32AutomationObject(ComPtr<IDispatch> object) : object_(std::move(object)) {}

    bool callPostXmlString(PostXmlArguments& args) override {
        return invokePostXmlString(object_.Get(), args);
    }

  private:
    ComPtr<IDispatch> object_;
};

// Borrowed: the variants point at BSTRs the call owns, so they are never cleared.
VARIANTARG byReference(UniqueBstr& text) {
    VARIANTARG arg;
    VariantInit(&arg);
    V_VT(&arg) = VT_BYREF | VT_BSTR;
    V_BSTRREF(&arg) = text.slot();
    return arg;
}

VARIANTARG byValue(const UniqueBstr& text) {
    VARIANTARG arg;
    VariantInit(&arg);
    V_VT(&arg) = VT_BSTR;
    V_BSTR(&arg) = text.get();
    return arg;
}

VARIANTARG byValue(bool flag) {
    VARIANTARG arg;
    VariantInit(&arg);
    V_VT(&arg) = VT_BOOL;
    V_BOOL(&arg) = flag ? VARIANT_TRUE : VARIANT_FALSE;
    return arg;
}

}  // namespace

std::unique_ptr<AutomationObject> Win32Automation::createObject(const std::wstring& progId) {
    return std::make_unique<Win32AutomationObject>(createDispatchObject(progId));
}

bool Win32Automation::hasLoaded(const FileIdentity& file) {
    const UniqueHandle snapshot = ownFileHandle(CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, 0));
    if (!snapshot) {
        throwLastError();
    }
    Win32FileSystem files;
    MODULEENTRY32W module{};
    module.dwSize = sizeof module;
    for (BOOL more = Module32FirstW(snapshot.get(), &module); more;
         more = Module32NextW(snapshot.get(), &module)) {
        bool same = false;
        ignoreFailure([&] { same = files.fileIdentity(module.szExePath) == file; });
        if (same) {
            return true;
        }
    }
    return false;
}

ComPtr<IDispatch> createDispatchObject(const std::wstring& progId) {
    CLSID classId{};
    throwIfFailed(CLSIDFromProgID(progId.c_str(), &classId));
    ComPtr<IDispatch> object;
    // A library in this process only: a class served by a program of its own would run
    // whatever that program is, unjudged.
    const HRESULT created = CoCreateInstance(classId, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                             reinterpret_cast<void**>(object.GetAddressOf()));
    throwIfFailed(created);
    return object;
}

UniqueVariant invokeById(IDispatch* object, DISPID member, WORD flags,
                         std::span<VARIANTARG> reversedArgs) {
    if (object == nullptr) {
        throw objectRequiredError();
    }
    DISPID putId = DISPID_PROPERTYPUT;
    DISPPARAMS params{reversedArgs.data(), nullptr, static_cast<UINT>(reversedArgs.size()), 0};
    const bool putting = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
    if (putting) {
        params.rgdispidNamedArgs = &putId;
        params.cNamedArgs = 1;
    }
    UniqueVariant result;
    EXCEPINFO exception{};
    UINT argumentError = 0;
    const HRESULT hr = object->Invoke(member, IID_NULL, LOCALE_USER_DEFAULT, flags, &params,
                                      putting ? nullptr : result.put(), &exception, &argumentError);
    if (hr == DISP_E_EXCEPTION) {
        throw errorFromException(exception);
    }
    throwIfFailed(hr);
    return result;
}

UniqueVariant invokeByName(IDispatch* object, const wchar_t* name, WORD flags,
                           std::span<VARIANTARG> reversedArgs) {
    if (object == nullptr) {
        throw objectRequiredError();
    }
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    DISPID member = DISPID_UNKNOWN;
    throwIfFailed(object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &member));
    return invokeById(object, member, flags, reversedArgs);
}

ComPtr<IDispatch> objectFrom(const VARIANT& value) {
    ComPtr<IDispatch> object;
    if (V_VT(&value) == VT_DISPATCH) {
        object = V_DISPATCH(&value);
    } else if (V_VT(&value) == VT_UNKNOWN && V_UNKNOWN(&value) != nullptr) {
        V_UNKNOWN(&value)->QueryInterface(IID_IDispatch,
                                          reinterpret_cast<void**>(object.GetAddressOf()));
    }
    if (!object) {
        throw objectRequiredError();
    }
    return object;
}

bool invokePostXmlString(IDispatch* object, PostXmlArguments& args) {
    auto report = UniqueBstr::fromText(args.report);
    auto queryString = UniqueBstr::fromText(args.queryString);
    const auto fourth = UniqueBstr::fromText(args.fourth);
    const auto fifth = UniqueBstr::fromText(args.fifth);
    auto reply1 = UniqueBstr::fromText(args.reply1);
    auto reply2 = UniqueBstr::fromText(args.reply2);
    auto reply3 = UniqueBstr::fromText(args.reply3);
    auto reply4 = UniqueBstr::fromText(args.reply4);
    VARIANTARG reversed[] = {
        byReference(reply4),      byReference(reply3), byReference(reply2),
        byReference(reply1),      byValue(fifth),      byValue(fourth),
        byReference(queryString), byValue(args.flag),  byReference(report),
    };
    UniqueVariant result = invokeByName(object, L"PostXMLString", DISPATCH_METHOD, reversed);
    UniqueVariant answer;
    throwIfFailed(VariantChangeType(answer.put(), &result.get(), 0, VT_BOOL));

    // All texts first, then the moves that cannot fail: args change completely or not at all.
    PostXmlArguments updated{report.text(), args.flag,     queryString.text(),
                             args.fourth,   args.fifth,    reply1.text(),
                             reply2.text(), reply3.text(), reply4.text()};
    args = std::move(updated);
    return V_BOOL(&answer.get()) != VARIANT_FALSE;
}

}  // namespace tavrel::win32
