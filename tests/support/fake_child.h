// The web-post library's child process, in memory: it answers through the program's
// own ChildServer with the fake's objects, and ends or garbles a reply where a test says.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "platform/child_automation.h"

namespace tavrel::fake {

class FakeChild : public ChildStarter {
  public:
    explicit FakeChild(Automation& objects) : objects_(objects) {}

    std::unique_ptr<RunningChild> startChild() override;

    /// The child ends with this code at request endsAt (1 is the creation, 2 the first
    /// call), before it answers or, with endsAfterAnswer, just after.
    std::optional<std::uint32_t> endCode;
    int endsAt = 0;
    bool endsAfterAnswer = false;
    /// The request whose reply arrives garbled; the child goes on running.
    int garbledAt = 0;

    int starts = 0;
    /// How the last child ended: its own code, or nothing when the parent had to end it.
    std::optional<std::optional<std::uint32_t>> lastEnding;

  private:
    friend class FakeRunningChild;
    Automation& objects_;
};

}  // namespace tavrel::fake
