#include "web_post.h"

#include <oleauto.h>

#include <cstdint>
#include <new>
#include <stdexcept>
#include <utility>

#include "forward.h"
#include "journal.h"
#include "misbehaviour.h"
#include "server.h"

namespace tavrel::webpost {

namespace {

constexpr UINT kArgumentCount = 9;
constexpr const wchar_t* kSource = L"Mavlin.WebPost";

// Argument n (1-based, in call order); automation hands them over last first.
VARIANT& argument(DISPPARAMS& params, UINT n) {
    return params.rgvarg[params.cArgs - n];
}

BSTR allocateText(const std::wstring& text) {
    BSTR copy = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    if (copy == nullptr) {
        throw std::bad_alloc();
    }
    return copy;
}

HRESULT raiseError(EXCEPINFO* exception, std::uint32_t code, const std::wstring& description) {
    if (exception != nullptr) {
        *exception = EXCEPINFO{};
        exception->scode = static_cast<SCODE>(code);
        exception->bstrSource = allocateText(kSource);
        exception->bstrDescription = allocateText(description);
    }
    return DISP_E_EXCEPTION;
}

VARIANT answerOf(const ScriptStep& step) {
    VARIANT answer;
    VariantInit(&answer);
    switch (step.kind) {
        case AnswerKind::Boolean:
            V_VT(&answer) = VT_BOOL;
            V_BOOL(&answer) = step.boolean ? VARIANT_TRUE : VARIANT_FALSE;
            break;
        case AnswerKind::Integer:
            V_VT(&answer) = VT_I4;
            V_I4(&answer) = step.integer;
            break;
        case AnswerKind::Text:
            V_BSTR(&answer) = allocateText(step.text);
            V_VT(&answer) = VT_BSTR;
            break;
        case AnswerKind::Null:
            V_VT(&answer) = VT_NULL;
            break;
        default:  // empty, or no answer at all
            break;
    }
    return answer;
}

}  // namespace

WebPost::WebPost(std::wstring folder) : folder_(std::move(folder)) {
    lockServer();
}

WebPost::~WebPost() {
    unlockServer();
}

HRESULT WebPost::QueryInterface(REFIID iid, void** object) {
    if (object == nullptr) {
        return E_POINTER;
    }
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch)) {
        *object = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG WebPost::AddRef() {
    return ++references_;
}

ULONG WebPost::Release() {
    const ULONG left = --references_;
    if (left == 0) {
        delete this;
    }
    return left;
}

HRESULT WebPost::GetTypeInfoCount(UINT* count) {
    if (count == nullptr) {
        return E_POINTER;
    }
    *count = 0;
    return S_OK;
}

HRESULT WebPost::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
    if (info != nullptr) {
        *info = nullptr;
    }
    return DISP_E_BADINDEX;
}

HRESULT WebPost::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
    if (names == nullptr || ids == nullptr || count == 0) {
        return E_INVALIDARG;
    }
    // Automation names are case-insensitive; the method has no named parameters.
    const bool known = CompareStringOrdinal(names[0], -1, L"PostXMLString", -1, TRUE) == CSTR_EQUAL;
    ids[0] = known ? kPostXMLStringId : DISPID_UNKNOWN;
    for (UINT i = 1; i < count; ++i) {
        ids[i] = DISPID_UNKNOWN;
    }
    return known && count == 1 ? S_OK : DISP_E_UNKNOWNNAME;
}

HRESULT WebPost::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO* exception, UINT*) {
    if (id != kPostXMLStringId || (flags & DISPATCH_METHOD) == 0 ||
        (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0) {
        return DISP_E_MEMBERNOTFOUND;
    }
    if (params == nullptr) {
        return E_INVALIDARG;
    }
    if (params->cNamedArgs != 0) {
        return DISP_E_NONAMEDARGS;
    }
    // Nothing may unwind into the caller's COM runtime.
    try {
        return postXMLString(*params, result, exception);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (const std::length_error&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT WebPost::postXMLString(DISPPARAMS& params, VARIANT* result, EXCEPINFO* exception) {
    const Journal journal(folder_ + L"\\Mavlin.journal");
    // Counting the records already there lets the script go on across processes.
    const unsigned call = journal.countCalls() + 1;
    std::vector<std::wstring> record{L"call " + std::to_wstring(call)};
    for (UINT n = 1; n <= params.cArgs; ++n) {
        record.push_back(describeVariant(L"arg" + std::to_wstring(n), argument(params, n)));
    }
    if (params.cArgs != kArgumentCount) {
        record.push_back(L"reject " + hexOf(DISP_E_BADPARAMCOUNT, 8) + L" wrong argument count");
        journal.append(record);
        return DISP_E_BADPARAMCOUNT;
    }

    std::wstring problem;
    const auto step = readStep(call, problem);
    if (!step) {
        record.push_back(L"raise " + hexOf(E_INVALIDARG, 8) + L" " + problem);
        journal.append(record);
        return raiseError(exception, E_INVALIDARG, problem);
    }
    if (step->delayMs > 0) {
        Sleep(step->delayMs);
    }
    holdUnload(step->unloadDelayMs);
    if (step->noteCaller) {
        record.push_back(describeCaller());
    }
    if (step->ownFaultFilter) {
        installOwnFaultFilter();
        record.push_back(L"own fault filter set");
    }
    if (misbehaves(step->kind)) {
        record.push_back(step->kind == AnswerKind::Fault ? L"fault writing through a null pointer"
                                                         : L"misbehave");
        journal.append(record);
        misbehave(step->kind);
    }
    if (const auto note =
            forwardReport(textOfValue(argument(params, 3)), textOfValue(argument(params, 1)))) {
        record.push_back(*note);
    }
    if (step->kind == AnswerKind::Raise) {
        record.push_back(L"raise " + hexOf(step->raiseCode, 8) + L" " + step->text);
        journal.append(record);
        return raiseError(exception, step->raiseCode, step->text);
    }

    writeBack(params, *step, record);
    VARIANT answer = answerOf(*step);
    record.push_back(describeVariant(L"answer", answer));
    journal.append(record);
    if (result != nullptr) {
        *result = answer;
    } else {
        VariantClear(&answer);
    }
    return S_OK;
}

std::optional<ScriptStep> WebPost::readStep(unsigned call, std::wstring& problem) const {
    std::wstring script;
    if (!readTextFile(folder_ + L"\\Mavlin.script", script)) {
        return ScriptStep{};
    }
    const auto line = pickScriptLine(script, call);
    if (!line) {
        return ScriptStep{};
    }
    auto step = parseScriptLine(line->text, problem);
    if (!step) {
        problem = L"Mavlin.script line " + std::to_wstring(line->number) + L": " + problem;
    }
    return step;
}

void WebPost::writeBack(DISPPARAMS& params, const ScriptStep& step,
                        std::vector<std::wstring>& record) {
    const auto write = [&](UINT n, const std::optional<std::wstring>& text) {
        if (!text) {
            return;
        }
        VARIANT& target = argument(params, n);
        const std::wstring label = L"arg" + std::to_wstring(n);
        if (V_VT(&target) != (VT_BYREF | VT_BSTR) || V_BSTRREF(&target) == nullptr) {
            record.push_back(L"cannot set " + label + L": not VT_BYREF|VT_BSTR");
            return;
        }
        BSTR fresh = allocateText(*text);
        SysFreeString(*V_BSTRREF(&target));
        *V_BSTRREF(&target) = fresh;
        record.push_back(L"set " + label + L" " + *text);
    };
    write(1, step.report);
    for (UINT i = 0; i < step.replies.size(); ++i) {
        write(6 + i, step.replies[i]);
    }
}

}  // namespace tavrel::webpost
