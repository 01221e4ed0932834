#include "platform/win32/com_error.h"

#include <cstdint>
#include <utility>

#include "platform/text.h"
#include "platform/win32/com_resources.h"
#include "platform/win32/win32_error.h"

namespace tavrel::win32 {

namespace {

// For the failures the program expects, when the system's message table lacks them
// (Wine's does for most COM errors).
const wchar_t* plainMessage(HRESULT result) {
    switch (result) {
        case REGDB_E_CLASSNOTREG:
        case CLASS_E_CLASSNOTAVAILABLE:
            return L"Class not registered";
        case CO_E_CLASSSTRING:
            return L"Invalid class string";
        case CO_E_APPNOTFOUND:
            return L"Application not found";
        case TYPE_E_LIBNOTREGISTERED:
            return L"Library not registered";
        case DISP_E_UNKNOWNNAME:
            return L"Unknown name";
        case DISP_E_MEMBERNOTFOUND:
            return L"Member not found";
        case DISP_E_TYPEMISMATCH:
            return L"Type mismatch";
        case DISP_E_BADPARAMCOUNT:
            return L"Invalid number of parameters";
        case MK_E_SYNTAX:
            return L"Invalid syntax";
        case E_OUTOFMEMORY:
            return L"Out of memory";
        default:
            return nullptr;
    }
}

}  // namespace

std::wstring hresultMessage(HRESULT result) {
    std::wstring message = systemMessageOrEmpty(static_cast<DWORD>(result));
    if (message.empty() && HRESULT_FACILITY(result) == FACILITY_WIN32) {
        message = systemMessageOrEmpty(HRESULT_CODE(result));
    }
    if (!message.empty()) {
        return message;
    }
    if (const wchar_t* plain = plainMessage(result)) {
        return plain;
    }
    std::wstring text = L"Automation error 0x";
    appendHex(text, static_cast<std::uint32_t>(result), 8);
    return text;
}

Error errorFromHresult(HRESULT result) {
    std::int32_t number = static_cast<std::int32_t>(result);
    switch (result) {
        case CO_E_CLASSSTRING:
        case REGDB_E_CLASSNOTREG:
        case CLASS_E_CLASSNOTAVAILABLE:
        case CO_E_APPNOTFOUND:
            number = errnum::kCannotCreateObject;
            break;
        case E_OUTOFMEMORY:
            number = errnum::kOutOfMemory;
            break;
        default:
            break;
    }
    return Error(number, hresultMessage(result));
}

Error errorFromException(EXCEPINFO& exception) {
    if (exception.pfnDeferredFillIn != nullptr) {
        exception.pfnDeferredFillIn(&exception);
        exception.pfnDeferredFillIn = nullptr;
    }
    const auto source = UniqueBstr::adopt(std::exchange(exception.bstrSource, nullptr));
    const auto description = UniqueBstr::adopt(std::exchange(exception.bstrDescription, nullptr));
    const auto helpFile = UniqueBstr::adopt(std::exchange(exception.bstrHelpFile, nullptr));
    const HRESULT code = exception.scode;
    const std::int32_t number =
        code != 0 ? static_cast<std::int32_t>(code) : static_cast<std::int32_t>(exception.wCode);
    std::wstring text = description.text();
    if (text.empty()) {
        text = code != 0 ? hresultMessage(code) : L"Automation error";
    }
    return Error(number, std::move(text));
}

Error objectRequiredError() {
    return Error(424, L"Object required");
}

}  // namespace tavrel::win32
