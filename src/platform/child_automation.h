// Objects of one class made and called in a child process, so that whatever their
// library does ends that process, never the run's: how a process ended, the run always
// learns. Both sides of the line between the two processes are here; the processes and
// the pipe are the platform's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/automation.h"

namespace tavrel {

/// How long the run waits for a child to end once it has let it go or lost it: a
/// library that never finishes unloading must not hold the run.
inline constexpr std::uint32_t kChildEndMilliseconds = 1000;

// One side of the line to the other process, in whole messages.
class ChildLine {
  public:
    virtual ~ChildLine() = default;
    /// Sends one message; false when the other side no longer listens.
    virtual bool send(const std::string& message) = 0;
    /// The next whole message; nothing when the other side hung up.
    virtual std::optional<std::string> receive() = 0;
    /// Hangs up and lets the child end, waiting kChildEndMilliseconds at most, then
    /// ends it. The code it ended with, or nothing when it had to be ended. Parent's
    /// side only; never throws.
    virtual std::optional<std::uint32_t> endChild() = 0;
};

class ChildStarter {
  public:
    virtual ~ChildStarter() = default;
    /// Starts a child that serves requests (serveParent) over the line. Throws Error.
    virtual std::unique_ptr<ChildLine> startChild() = 0;
};

// Creates objects of childProgId in a child, every other class through inProcess.
class ChildAutomation : public Automation {
  public:
    ChildAutomation(Automation& inProcess, ChildStarter& starter, std::wstring childProgId)
        : inProcess_(inProcess), starter_(starter), childProgId_(std::move(childProgId)) {}

    void prepareCreation() override;
    /// Every class but childProgId, which is only created from a judged library.
    std::unique_ptr<AutomationObject> createObject(const std::wstring& progId) override;
    bool hasLoaded(const FileIdentity& file) override { return inProcess_.hasLoaded(file); }
    /// childProgId's objects are created, and their library confirmed, in the child.
    std::unique_ptr<AutomationObject> createObjectFrom(const std::wstring& progId,
                                                       const FileIdentity& library) override;

    /// Lets the child go: the run's end, once its objects are gone. Never throws.
    void endChild();

  private:
    Automation& inProcess_;
    ChildStarter& starter_;
    std::wstring childProgId_;
    std::unique_ptr<ChildLine> line_;
};

// The child's side: answers the parent's requests with an object made by `objects`,
// which it keeps, with the nine arguments, from one request to the next.
class ChildServer {
  public:
    explicit ChildServer(Automation& objects) : objects_(objects) {}

    /// The reply to one request; nothing for a release, which wants none. An Error goes
    /// back as the reply; whatever else comes out of the library's call ends the child.
    std::optional<std::string> answer(const std::string& request);

  private:
    std::optional<std::string> answerFields(const std::vector<std::wstring>& request);

    Automation& objects_;
    std::unique_ptr<AutomationObject> object_;
    PostXmlArguments args_;
};

/// The child's whole work: answers requests until the parent hangs up.
void serveParent(ChildLine& line, Automation& objects);

/// The most fields a request, or a reply, has.
inline constexpr std::size_t kMostRequestFields = 6;
inline constexpr std::size_t kMostReplyFields = 5;

/// A message's fields as bytes, and back; nothing for bytes that are not a message of
/// at most mostFields fields.
std::string encodeFields(std::initializer_list<std::wstring_view> fields);
std::optional<std::vector<std::wstring>> decodeFields(std::string_view bytes,
                                                      std::size_t mostFields);

}  // namespace tavrel
