// WMI through its scripting interface, late-bound, one step per call, in the order
// the uptime query makes them.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace tavrel {

// The objects of one query: the bound object or connection, the locator, the
// result collection and its current item. All are released when the session is
// destroyed, on every path. A step whose object is not there yet throws Error.
class WmiSession {
  public:
    virtual ~WmiSession() = default;

    /// Binds an object by moniker text, as GetObject does (e.g.
    /// "winmgmts:\\.\root\cimv2"); it becomes the current WMI object. Throws Error
    /// when WMI cannot be reached or the moniker is not understood.
    virtual void bindMoniker(const std::wstring& moniker) = 0;

    /// Creates the locator by ProgID ("WbemScripting.SWbemLocator"). Throws Error
    /// as Automation::createObject does (429 when the class is not registered).
    virtual void createLocator(const std::wstring& progId) = 0;

    /// locator.Security_.ImpersonationLevel = level (3 is impersonate). Throws Error.
    virtual void setImpersonationLevel(std::int32_t level) = 0;

    /// locator.ConnectServer(server, nameSpace, user, password), four texts with the
    /// optional arguments omitted; empty user and password mean the caller's own
    /// identity. The connection replaces the current WMI object, releasing the earlier
    /// one. Throws Error.
    virtual void connectServer(const std::wstring& server, const std::wstring& nameSpace,
                               const std::wstring& user, const std::wstring& password) = 0;

    /// connection.ExecQuery(query) with the optional arguments omitted; keeps the
    /// collection and starts its enumeration afresh. Throws Error.
    virtual void execQuery(const std::wstring& query) = 0;

    /// Moves to the collection's next result object; false at the end (and on every
    /// call after it), with no current result object then. Throws Error.
    virtual bool nextResult() = 0;

    /// The current result object's property, as text: 64-bit integers arrive as
    /// decimal text from WMI and are kept as they are; other values go through the
    /// standard variant conversion (Booleans as "True"/"False"); a Null value is the
    /// empty text. Throws Error for an unknown property or a value with no text form.
    virtual std::wstring readProperty(const std::wstring& name) = 0;
};

class Wmi {
  public:
    virtual ~Wmi() = default;

    /// A new, empty session. Throws Error.
    virtual std::unique_ptr<WmiSession> openSession() = 0;
};

}  // namespace tavrel
