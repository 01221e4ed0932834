// Late-bound calls against a dispatch object of our own, where no web-post library
// is registered, and real COM activation and error mapping under Wine.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/win32/com_error.h"
#include "platform/win32/com_resources.h"
#include "platform/win32/win32_automation.h"

namespace tavrel::win32 {
namespace {

constexpr DISPID kPostId = 7;

// Stands in for the web-post library: notes what arrives, replaces every
// by-reference text with "new N" (N its argument number), and answers as scripted.
class ScriptedDispatch : public IDispatch {
  public:
    std::function<HRESULT(VARIANT* result, EXCEPINFO* exception)> answer = [](VARIANT* result,
                                                                              EXCEPINFO*) {
        V_VT(result) = VT_I4;
        V_I4(result) = 1;
        return S_OK;
    };
    ULONG references = 1;
    WORD flags = 0;
    UINT namedArgs = 0;
    std::vector<VARTYPE> types;         // as they stand in rgvarg
    std::vector<std::wstring> arrived;  // in call order

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch)) {
            *out = this;
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
    ULONG STDMETHODCALLTYPE Release() override { return --references; }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                            DISPID* ids) override {
        if (count == 1 && lstrcmpiW(names[0], L"PostXMLString") == 0) {
            ids[0] = kPostId;
            return S_OK;
        }
        ids[0] = DISPID_UNKNOWN;
        return DISP_E_UNKNOWNNAME;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD invokeFlags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO* exception, UINT*) override {
        if (id != kPostId) {
            return DISP_E_MEMBERNOTFOUND;
        }
        flags = invokeFlags;
        namedArgs = params->cNamedArgs;
        for (UINT i = 0; i < params->cArgs; ++i) {
            types.push_back(V_VT(&params->rgvarg[i]));
        }
        for (UINT number = 1; number <= params->cArgs; ++number) {
            VARIANTARG& arg = params->rgvarg[params->cArgs - number];
            if (V_VT(&arg) == (VT_BYREF | VT_BSTR)) {
                arrived.push_back(UniqueBstr::textOf(*V_BSTRREF(&arg)));
                SysFreeString(*V_BSTRREF(&arg));
                *V_BSTRREF(&arg) = SysAllocString((L"new " + std::to_wstring(number)).c_str());
            } else if (V_VT(&arg) == VT_BSTR) {
                arrived.push_back(UniqueBstr::textOf(V_BSTR(&arg)));
            } else if (V_VT(&arg) == VT_BOOL) {
                arrived.push_back(V_BOOL(&arg) == VARIANT_TRUE ? L"TRUE" : L"FALSE");
            }
        }
        return answer(result, exception);
    }
};

PostXmlArguments sampleArguments() {
    return PostXmlArguments{L"<r>1</r>", true, L"https://h/p?a=1", L"four",   L"",
                            L"reply 1",  L"",  L"reply 3",         L"reply 4"};
}

TEST(Win32PostXmlString, PassesNineArgumentsInReverseOrderAndWritesTheReferencesBack) {
    ScriptedDispatch object;
    PostXmlArguments args = sampleArguments();

    EXPECT_TRUE(invokePostXmlString(&object, args));

    const VARTYPE ref = VT_BYREF | VT_BSTR;
    EXPECT_EQ(object.types,
              (std::vector<VARTYPE>{ref, ref, ref, ref, VT_BSTR, VT_BSTR, ref, VT_BOOL, ref}));
    EXPECT_EQ(object.arrived,
              (std::vector<std::wstring>{L"<r>1</r>", L"TRUE", L"https://h/p?a=1", L"four", L"",
                                         L"reply 1", L"", L"reply 3", L"reply 4"}));
    EXPECT_EQ(object.flags, DISPATCH_METHOD);
    EXPECT_EQ(object.namedArgs, 0u);
    EXPECT_EQ(args.report, L"new 1");
    EXPECT_EQ(args.queryString, L"new 3");
    EXPECT_EQ(args.fourth, L"four");  // by value: the object's copy, not ours
    EXPECT_EQ(args.reply1, L"new 6");
    EXPECT_EQ(args.reply2, L"new 7");
    EXPECT_EQ(args.reply3, L"new 8");
    EXPECT_EQ(args.reply4, L"new 9");
    EXPECT_EQ(object.references, 1u);
}

TEST(Win32PostXmlString, ReadsTheResultAsABooleanOrThrows) {
    struct Case {
        const char* name;
        std::function<void(VARIANT*)> make;
        int expected;  // 1 true, 0 false, -1 throws
    };
    const Case cases[] = {
        {"I4 one",
         [](VARIANT* v) {
             V_VT(v) = VT_I4;
             V_I4(v) = 1;
         },
         1},
        {"I4 zero",
         [](VARIANT* v) {
             V_VT(v) = VT_I4;
             V_I4(v) = 0;
         },
         0},
        {"Boolean true",
         [](VARIANT* v) {
             V_VT(v) = VT_BOOL;
             V_BOOL(v) = VARIANT_TRUE;
         },
         1},
        {"text False",
         [](VARIANT* v) {
             V_VT(v) = VT_BSTR;
             V_BSTR(v) = SysAllocString(L"False");
         },
         0},
        {"nothing", [](VARIANT*) {}, 0},
        {"text maybe",
         [](VARIANT* v) {
             V_VT(v) = VT_BSTR;
             V_BSTR(v) = SysAllocString(L"maybe");
         },
         -1},
        {"null", [](VARIANT* v) { V_VT(v) = VT_NULL; }, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedDispatch object;
        object.answer = [&](VARIANT* result, EXCEPINFO*) {
            c.make(result);
            return S_OK;
        };
        PostXmlArguments args = sampleArguments();
        if (c.expected < 0) {
            EXPECT_THROW(invokePostXmlString(&object, args), Error);
            EXPECT_EQ(args.report, L"<r>1</r>");  // a failed call leaves the arguments alone
        } else {
            EXPECT_EQ(invokePostXmlString(&object, args), c.expected == 1);
        }
    }
}

HRESULT STDAPICALLTYPE fillInLater(EXCEPINFO* exception) {
    exception->bstrDescription = SysAllocString(L"Filled in later");
    exception->scode = E_FAIL;
    return S_OK;
}

TEST(Win32PostXmlString, AnExceptionOfTheObjectCarriesItsOwnDescriptionAndNumber) {
    struct Case {
        const char* name;
        std::function<void(EXCEPINFO*)> raise;
        std::int32_t number;
        std::wstring description;
    };
    const Case cases[] = {
        {"scode",
         [](EXCEPINFO* e) {
             e->scode = static_cast<HRESULT>(0x80040201);
             e->bstrSource = SysAllocString(L"Web post");
             e->bstrDescription = SysAllocString(L"Server unreachable\r\nTry later");
         },
         static_cast<std::int32_t>(0x80040201), L"Server unreachable\r\nTry later"},
        {"deferred", [](EXCEPINFO* e) { e->pfnDeferredFillIn = &fillInLater; },
         static_cast<std::int32_t>(E_FAIL), L"Filled in later"},
        {"wCode",
         [](EXCEPINFO* e) {
             e->wCode = 1001;
             e->bstrDescription = SysAllocString(L"W");
         },
         1001, L"W"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedDispatch object;
        object.answer = [&](VARIANT*, EXCEPINFO* exception) {
            c.raise(exception);
            return DISP_E_EXCEPTION;
        };
        PostXmlArguments args = sampleArguments();
        try {
            invokePostXmlString(&object, args);
            ADD_FAILURE() << "no error";
        } catch (const Error& error) {
            EXPECT_EQ(error.number(), c.number);
            EXPECT_EQ(error.description(), c.description);
        }
    }
}

TEST(Win32PostXmlString, AnUnknownNameOrAFailedCallThrows) {
    ScriptedDispatch refusing;
    refusing.answer = [](VARIANT*, EXCEPINFO*) { return DISP_E_BADPARAMCOUNT; };
    PostXmlArguments args = sampleArguments();
    EXPECT_THROW(invokePostXmlString(&refusing, args), Error);

    // The real file-system object has no such method: the name is refused by GetIDsOfNames.
    ComApartment apartment;
    Win32Automation automation;
    auto fso = automation.createObject(L"Scripting.FileSystemObject");
    try {
        fso->callPostXmlString(args);
        ADD_FAILURE() << "no error";
    } catch (const Error& error) {
        EXPECT_EQ(error.number(), static_cast<std::int32_t>(DISP_E_UNKNOWNNAME));
    }
    EXPECT_THROW(invokePostXmlString(nullptr, args), Error);
}

TEST(Win32Automation, CreatesRegisteredClassesAndNumbersTheUnregisteredOnes429) {
    ComApartment apartment;
    // A ProgID that names a class nobody registered: REGDB_E_CLASSNOTREG rather than
    // the CO_E_CLASSSTRING of an unknown ProgID.
    const wchar_t* orphanKey = L"Software\\Classes\\Tavrel.OrphanProgId\\CLSID";
    const wchar_t* orphanClass = L"{6A1D2E4C-9B7F-4C1A-8E55-3F0B7A2D9C41}";
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, orphanKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(orphanClass),
                   static_cast<DWORD>((lstrlenW(orphanClass) + 1) * sizeof(wchar_t)));
    RegCloseKey(key);

    Win32Automation automation;
    EXPECT_NE(automation.createObject(L"Scripting.FileSystemObject"), nullptr);
    for (const wchar_t* progId : {L"Tavrel.NoSuchClass", L"Tavrel.OrphanProgId"}) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(progId)));
        try {
            automation.createObject(progId);
            ADD_FAILURE() << "created";
        } catch (const Error& error) {
            EXPECT_EQ(error.number(), 429);
            EXPECT_FALSE(error.description().empty());
        }
    }
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"Software\\Classes\\Tavrel.OrphanProgId");
}

TEST(Win32ComError, MapsTheFailuresTheProgramTellsApart) {
    struct Case {
        HRESULT result;
        std::int32_t number;
    };
    const Case cases[] = {
        {CO_E_CLASSSTRING, 429},
        {REGDB_E_CLASSNOTREG, 429},
        {static_cast<HRESULT>(0x8007007E), -2147024770},
        {TYPE_E_LIBNOTREGISTERED, -2147319779},
        {E_ACCESSDENIED, -2147024891},
        {E_OUTOFMEMORY, 7},
    };
    for (const Case& c : cases) {
        const Error error = errorFromHresult(c.result);
        SCOPED_TRACE(testing::PrintToString(error.description()));
        EXPECT_EQ(error.number(), c.number);
        ASSERT_FALSE(error.description().empty());
        EXPECT_NE(error.description().back(), L'\n');
        EXPECT_NE(error.description().back(), L'\r');
    }
}

}  // namespace
}  // namespace tavrel::win32
