#include "platform/win32/win32_wmi.h"

#include <objbase.h>
#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <utility>

#include "platform/win32/com_error.h"
#include "platform/win32/com_resources.h"
#include "platform/win32/win32_automation.h"

namespace tavrel::win32 {

namespace {

// A late-bound property read, as a script makes it: the caller cannot tell a property
// from a method, and Wine's WMI objects answer their properties to nothing else.
constexpr WORD kPropertyGet = DISPATCH_METHOD | DISPATCH_PROPERTYGET;

VARIANTARG borrowedText(const UniqueBstr& text) {
    VARIANTARG arg;
    VariantInit(&arg);
    V_VT(&arg) = VT_BSTR;
    V_BSTR(&arg) = text.get();
    return arg;
}

std::wstring textOf(const VARIANT& value) {
    // WMI hands 64-bit integers over as BSTRs already; Null reads as nothing, as it
    // does when the program concatenates it.
    if (V_VT(&value) == VT_NULL || V_VT(&value) == VT_EMPTY) {
        return {};
    }
    if (V_VT(&value) == VT_BSTR) {
        return UniqueBstr::textOf(V_BSTR(&value));
    }
    UniqueVariant text;
    // The source is only read; MinGW declares it without const.
    throwIfFailed(
        VariantChangeType(text.put(), const_cast<VARIANT*>(&value), VARIANT_ALPHABOOL, VT_BSTR));
    return UniqueBstr::textOf(V_BSTR(&text.get()));
}

class Win32WmiSession : public WmiSession {
  public:
    void bindMoniker(const std::wstring& moniker) override {
        ComPtr<IDispatch> object;
        throwIfFailed(CoGetObject(moniker.c_str(), nullptr, IID_IDispatch,
                                  reinterpret_cast<void**>(object.GetAddressOf())));
        current_ = std::move(object);
    }

    void createLocator(const std::wstring& progId) override {
        locator_ = createDispatchObject(progId);
    }

    void setImpersonationLevel(std::int32_t level) override {
        const UniqueVariant security = invokeByName(locator_.Get(), L"Security_", kPropertyGet);
        VARIANTARG value;
        VariantInit(&value);
        V_VT(&value) = VT_I4;
        V_I4(&value) = level;
        invokeByName(objectFrom(security.get()).Get(), L"ImpersonationLevel", DISPATCH_PROPERTYPUT,
                     {&value, 1});
    }

    void connectServer(const std::wstring& server, const std::wstring& nameSpace,
                       const std::wstring& user, const std::wstring& password) override {
        const auto serverText = UniqueBstr::fromText(server);
        const auto nameSpaceText = UniqueBstr::fromText(nameSpace);
        const auto userText = UniqueBstr::fromText(user);
        const auto passwordText = UniqueBstr::fromText(password);
        VARIANTARG reversed[] = {borrowedText(passwordText), borrowedText(userText),
                                 borrowedText(nameSpaceText), borrowedText(serverText)};
        const UniqueVariant connection =
            invokeByName(locator_.Get(), L"ConnectServer", DISPATCH_METHOD, reversed);
        current_ = objectFrom(connection.get());
    }

    void execQuery(const std::wstring& query) override {
        const auto queryText = UniqueBstr::fromText(query);
        VARIANTARG reversed[] = {borrowedText(queryText)};
        const UniqueVariant collection =
            invokeByName(current_.Get(), L"ExecQuery", DISPATCH_METHOD, reversed);
        collection_ = objectFrom(collection.get());
        items_.Reset();
        item_.Reset();
    }

    bool nextResult() override {
        if (!items_) {
            const UniqueVariant enumerator =
                invokeById(collection_.Get(), DISPID_NEWENUM, kPropertyGet);
            ComPtr<IEnumVARIANT> items;
            if (V_VT(&enumerator.get()) == VT_UNKNOWN || V_VT(&enumerator.get()) == VT_DISPATCH) {
                IUnknown* unknown = V_UNKNOWN(&enumerator.get());
                if (unknown != nullptr) {
                    throwIfFailed(unknown->QueryInterface(
                        IID_IEnumVARIANT, reinterpret_cast<void**>(items.GetAddressOf())));
                }
            }
            if (!items) {
                throw objectRequiredError();
            }
            items_ = std::move(items);
        }
        item_.Reset();
        UniqueVariant next;
        ULONG fetched = 0;
        const HRESULT hr = items_->Next(1, next.put(), &fetched);
        throwIfFailed(hr);
        if (hr == S_FALSE || fetched == 0) {
            return false;
        }
        item_ = objectFrom(next.get());
        return true;
    }

    std::wstring readProperty(const std::wstring& name) override {
        const UniqueVariant value = invokeByName(item_.Get(), name.c_str(), kPropertyGet);
        return textOf(value.get());
    }

  private:
    // Declared in the order they come to life, so they go in the reverse order.
    ComPtr<IDispatch> current_;
    ComPtr<IDispatch> locator_;
    ComPtr<IDispatch> collection_;
    ComPtr<IEnumVARIANT> items_;
    ComPtr<IDispatch> item_;
};

}  // namespace

std::unique_ptr<WmiSession> Win32Wmi::openSession() {
    return std::make_unique<Win32WmiSession>();
}

}  // namespace tavrel::win32
