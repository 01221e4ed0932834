#include "support/fake_child.h"

#include <deque>
#include <string>

namespace tavrel::fake {

// The child and its line in one: what the run sends, the child answers at once.
class FakeRunningChild : public RunningChild, public MessageLine {
  public:
    explicit FakeRunningChild(FakeChild& child) : child_(child) {
        server_.emplace(child.objects_);
        ++child_.starts;
    }

    bool send(const std::string& message) override {
        if (!server_) {
            return false;
        }
        ++requests_;
        const bool endsHere = child_.endCode && requests_ == child_.endsAt;
        if (endsHere && !child_.endsAfterAnswer) {
            end(child_.endCode);
            return true;  // the pipe took it; nobody reads it
        }
        std::optional<std::string> reply = server_->answer(message);
        if (requests_ == child_.garbledAt) {
            reply = "garbled";
            garbled_ = true;
        }
        if (reply) {
            replies_.push_back(*reply);
        }
        if (endsHere) {
            end(child_.endCode);
        }
        return true;
    }

    std::optional<std::string> receive() override {
        if (replies_.empty()) {
            return std::nullopt;
        }
        std::string reply = replies_.front();
        replies_.pop_front();
        return reply;
    }

    void hangUp() override { replies_.clear(); }

    MessageLine& line() override { return *this; }

    std::optional<std::uint32_t> stop() override {
        hangUp();
        if (server_) {
            // Let go, a child ends by itself; one that garbled its reply is ended.
            end(garbled_ ? std::nullopt : std::optional<std::uint32_t>(0));
        }
        return *child_.lastEnding;
    }

  private:
    void end(std::optional<std::uint32_t> code) {
        server_.reset();  // its objects go with the process
        child_.lastEnding = code;
    }

    FakeChild& child_;
    std::optional<ChildServer> server_;
    std::deque<std::string> replies_;
    int requests_ = 0;
    bool garbled_ = false;
};

std::unique_ptr<RunningChild> FakeChild::startChild() {
    return std::make_unique<FakeRunningChild>(*this);
}

}  // namespace tavrel::fake
