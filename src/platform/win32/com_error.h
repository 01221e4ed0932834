// Every COM failure becomes the program's Error here, in one place.
#pragma once

#include <oaidl.h>
#include <windows.h>

#include <string>

#include "platform/error.h"

namespace tavrel::win32 {

/// The system's description of an HRESULT without its trailing line break, or a
/// short plain English text when the system has none.
std::wstring hresultMessage(HRESULT result);

/// The Error for a failed HRESULT. The forms of "class not registered" are 429, as
/// the automation runtime numbers them, E_OUTOFMEMORY is the out-of-memory number,
/// and everything else keeps its HRESULT as a signed 32-bit number.
Error errorFromHresult(HRESULT result);

/// The Error an object raised through Invoke: its own description and its scode
/// (or wCode). Fills in a deferred EXCEPINFO first, and frees its texts.
Error errorFromException(EXCEPINFO& exception);

/// Throws the Error for a failed HRESULT; a success passes.
inline void throwIfFailed(HRESULT result) {
    if (FAILED(result)) {
        throw errorFromHresult(result);
    }
}

/// An object was needed and there was none, or the value was not an object.
Error objectRequiredError();

}  // namespace tavrel::win32
