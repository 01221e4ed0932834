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
#include "platform/message_fields.h"

namespace tavrel {

// One word for each act on the child:
// - hang up: one side closes its ends of the line; the other then reads its end.
// - stop the child: the run hangs up, waits kChildEndMilliseconds at most for the child
//   to end by itself, ends it where it has not, and learns the code it ended with.
// - let the child go: the run's end, once the child's objects are gone: stop it and
//   forget it.

/// How long the run waits for a child to end by itself once it has hung up: a library
/// that never finishes unloading must not hold the run.
inline constexpr std::uint32_t kChildEndMilliseconds = 1000;

// One side of the line between the run and the child, in whole messages.
class MessageLine {
  public:
    virtual ~MessageLine() = default;
    /// Sends one message; false when the other side no longer listens.
    virtual bool send(const std::string& message) = 0;
    /// The next whole message; nothing when the other side hung up.
    virtual std::optional<std::string> receive() = 0;
    /// Hangs up. Never throws.
    virtual void hangUp() = 0;
};

// The run's hold on a child it started: the line to it, and the process.
class RunningChild {
  public:
    virtual ~RunningChild() = default;
    virtual MessageLine& line() = 0;
    /// Stops the child: the code it ended with, or nothing when it had to be ended.
    /// Never throws.
    virtual std::optional<std::uint32_t> stop() = 0;
};

class ChildStarter {
  public:
    virtual ~ChildStarter() = default;
    /// Starts a child that serves requests (serveParent) over its line. Throws Error.
    virtual std::unique_ptr<RunningChild> startChild() = 0;
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
    void letChildGo();

  private:
    Automation& inProcess_;
    ChildStarter& starter_;
    std::wstring childProgId_;
    std::unique_ptr<RunningChild> child_;
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
void serveParent(MessageLine& line, Automation& objects);

}  // namespace tavrel
