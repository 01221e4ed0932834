#include "support/fake_wmi.h"

#include <cstddef>
#include <cstdint>
#include <optional>

namespace tavrel::fake {

namespace {

// The same refusal as the real session's for a step whose object is not there yet,
// so that a procedure calling out of order fails in the fake too.
Error objectRequired() {
    return Error(424, L"Object required");
}

class FakeWmiSession : public WmiSession {
  public:
    FakeWmiSession(FakeWmi& wmi, Operations& ops) : wmi_(wmi), ops_(ops) { ++wmi_.liveSessions; }
    ~FakeWmiSession() override { --wmi_.liveSessions; }

    void bindMoniker(const std::wstring& moniker) override {
        ops_.enterOrThrow("WmiBindMoniker", moniker);
        current_ = true;
    }

    void createLocator(const std::wstring& progId) override {
        ops_.enterOrThrow("WmiCreateLocator", progId);
        locator_ = true;
    }

    void setImpersonationLevel(std::int32_t level) override {
        ops_.enterOrThrow("WmiSetImpersonationLevel", std::to_wstring(level));
        require(locator_);
    }

    void connectServer(const std::wstring& server, const std::wstring& nameSpace,
                       const std::wstring& user, const std::wstring& password) override {
        ops_.enterOrThrow("WmiConnectServer",
                          server + L"|" + nameSpace + L"|" + user + L"|" + password);
        require(locator_);
        current_ = true;
    }

    void execQuery(const std::wstring& query) override {
        ops_.enterOrThrow("WmiExecQuery", query);
        require(current_);
        results_ = wmi_.instances;
        next_ = 0;
        item_ = nullptr;
    }

    bool nextResult() override {
        ops_.enterOrThrow("WmiNextResult");
        require(results_.has_value());
        item_ = next_ < results_->size() ? &(*results_)[next_++] : nullptr;
        return item_ != nullptr;
    }

    std::wstring readProperty(const std::wstring& name) override {
        ops_.enterOrThrow("WmiReadProperty", name);
        require(item_ != nullptr);
        const auto found = item_->find(name);
        if (found == item_->end()) {
            throw Error(-2147352570, L"Unknown name");  // DISP_E_UNKNOWNNAME
        }
        return found->second;
    }

  private:
    static void require(bool present) {
        if (!present) {
            throw objectRequired();
        }
    }

    FakeWmi& wmi_;
    Operations& ops_;
    bool current_ = false;
    bool locator_ = false;
    std::optional<std::vector<FakeWmi::Instance>> results_;
    std::size_t next_ = 0;
    const FakeWmi::Instance* item_ = nullptr;
};

}  // namespace

std::unique_ptr<WmiSession> FakeWmi::openSession() {
    ops_.enterOrThrow("WmiOpenSession");
    return std::make_unique<FakeWmiSession>(*this, ops_);
}

}  // namespace tavrel::fake
