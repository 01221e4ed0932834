// COM objects created by ProgID and used late-bound, by name.
#pragma once

#include <memory>
#include <string>

#include "platform/error.h"
#include "platform/file_system.h"

namespace tavrel {

// The nine arguments of the web-post library's PostXMLString, in call order. The
// by-reference ones are the caller's variables: the call writes back whatever the
// library left in them.
struct PostXmlArguments {
    std::wstring report;       // 1: text by reference
    bool flag = false;         // 2: Boolean by value
    std::wstring queryString;  // 3: text by reference
    std::wstring fourth;       // 4: text by value
    std::wstring fifth;        // 5: text by value
    std::wstring reply1;       // 6-9: texts by reference
    std::wstring reply2;
    std::wstring reply3;
    std::wstring reply4;
};

// One created object; destroying it releases the object.
class AutomationObject {
  public:
    virtual ~AutomationObject() = default;

    /// Calls PostXMLString by name with the nine arguments, writes the by-reference
    /// texts back into args, and returns the result's Boolean reading under the
    /// standard variant conversion. Throws Error when the object has no such method,
    /// the call fails or raises an exception (the object's own description and
    /// number), or the result has no Boolean reading, and when the process the object
    /// lives in ends or answers nonsense (the description says which, and how it
    /// ended); args are then left as they were. An object in another process writes
    /// back the report and reply texts 1 and 3, and keeps 2 and 4 itself.
    virtual bool callPostXmlString(PostXmlArguments& args) = 0;
};

class Automation {
  public:
    virtual ~Automation() = default;

    /// Gets ready, where that takes a while, to create objects soon (starts the
    /// process they live in), so that a pause of the run covers it. Never throws; what
    /// failed here is tried again, and reported, by createObject.
    virtual void prepareCreation() {}

    /// Creates an object by ProgID, served in this process by a library: never by a
    /// program of its own. Throws Error: number 429 when the ProgID or its class is not
    /// registered or has no library, 7 when memory runs out; otherwise the system's
    /// failure as a signed 32-bit HRESULT (-2147024770 for a missing library module,
    /// -2147319779 for an unregistered type library).
    virtual std::unique_ptr<AutomationObject> createObject(const std::wstring& progId) = 0;

    /// True when a module loaded in this process is that file. Throws Error.
    virtual bool hasLoaded(const FileIdentity& file) = 0;

    /// createObject, for a class whose library was judged: the object is released, and
    /// Error 429 thrown, unless the judged file is among the modules loaded.
    virtual std::unique_ptr<AutomationObject> createObjectFrom(const std::wstring& progId,
                                                               const FileIdentity& library) {
        std::unique_ptr<AutomationObject> object = createObject(progId);
        if (!hasLoaded(library)) {
            object.reset();
            throw Error(errnum::kCannotCreateObject,
                        L"The file judged for " + progId +
                            L" was not what COM loaded, and the object was released");
        }
        return object;
    }
};

}  // namespace tavrel
