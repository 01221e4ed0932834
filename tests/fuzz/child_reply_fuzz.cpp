// The run's side of the line to the web-post library's child, with whatever the child
// replies: the creation and the call end in an answer or an Error, never in a fault or
// in memory sized by the reply. Input: the reply to the creation, the four bytes
// FF FE FD FC, then the reply to the call.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "fuzz_support.h"
#include "platform/child_automation.h"
#include "platform/error.h"

namespace tavrel::fuzz {
namespace {

class ReplyingChild : public RunningChild, public MessageLine {
  public:
    ReplyingChild(std::string creation, std::string call)
        : replies_{std::move(creation), std::move(call)} {}
    bool send(const std::string&) override { return true; }
    std::optional<std::string> receive() override {
        return next_ < 2 ? std::optional<std::string>(replies_[next_++]) : std::nullopt;
    }
    void hangUp() override { next_ = 2; }
    MessageLine& line() override { return *this; }
    std::optional<std::uint32_t> stop() override {
        hangUp();
        return 0;
    }

  private:
    std::string replies_[2];
    int next_ = 0;
};

class ReplyStarter : public ChildStarter {
  public:
    explicit ReplyStarter(std::unique_ptr<RunningChild> child) : child_(std::move(child)) {}
    std::unique_ptr<RunningChild> startChild() override { return std::move(child_); }

  private:
    std::unique_ptr<RunningChild> child_;
};

class NoAutomation : public Automation {
  public:
    std::unique_ptr<AutomationObject> createObject(const std::wstring&) override {
        throw Error(errnum::kCannotCreateObject, L"not here");
    }
    bool hasLoaded(const FileIdentity&) override { return false; }
};

}  // namespace
}  // namespace tavrel::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tavrel;
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const std::size_t cut = bytes.find("\xFF\xFE\xFD\xFC");
    const std::string creation = bytes.substr(0, cut);
    const std::string call = cut == std::string::npos ? std::string() : bytes.substr(cut + 4);

    fuzz::NoAutomation inProcess;
    fuzz::ReplyStarter starter(std::make_unique<fuzz::ReplyingChild>(creation, call));
    ChildAutomation automation(inProcess, starter, L"Mavlin.WebPost");
    PostXmlArguments args;
    args.report = L"<report/>";
    withTrap(
        [&] {
            const auto object = automation.createObjectFrom(L"Mavlin.WebPost", FileIdentity{1, 2});
            object->callPostXmlString(args);
        },
        [&](const Error& error) {
            fuzz::require(!error.description().empty(), "reply", "an Error without a description");
        });
    automation.letChildGo();
    return 0;
}
