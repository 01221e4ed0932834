// Objects created by ProgID and called late-bound through IDispatch. The calling
// helpers here serve every late-bound user of the seam (WMI included).
#pragma once

#include <oaidl.h>
#include <windows.h>

#include <memory>
#include <span>
#include <string>

#include "platform/automation.h"
#include "platform/win32/com_resources.h"

namespace tavrel::win32 {

class Win32Automation : public Automation {
  public:
    std::unique_ptr<AutomationObject> createObject(const std::wstring& progId) override;
    bool hasLoaded(const FileIdentity& file) override;
};

/// CLSIDFromProgID, then CoCreateInstance (CLSCTX_INPROC_SERVER) for IDispatch. Throws
/// Error.
ComPtr<IDispatch> createDispatchObject(const std::wstring& progId);

/// Invoke with the arguments in reverse order, as IDispatch wants them; a property
/// put passes its value as the named DISPID_PROPERTYPUT argument and returns an
/// empty result. Throws Error for a failed call or the object's own exception.
UniqueVariant invokeById(IDispatch* object, DISPID member, WORD flags,
                         std::span<VARIANTARG> reversedArgs = {});

/// invokeById after GetIDsOfNames; an unknown name throws Error.
UniqueVariant invokeByName(IDispatch* object, const wchar_t* name, WORD flags,
                           std::span<VARIANTARG> reversedArgs = {});

/// The object a result holds; throws Error when it holds none.
ComPtr<IDispatch> objectFrom(const VARIANT& value);

/// PostXMLString called by name on the object, as AutomationObject::callPostXmlString
/// describes; apart from the object so that it can be tried without a registered class.
bool invokePostXmlString(IDispatch* object, PostXmlArguments& args);

}  // namespace tavrel::win32
