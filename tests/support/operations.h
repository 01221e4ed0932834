// The record of every operation a fake makes, and the switch that fails chosen calls.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/error.h"

namespace tavrel::fake {

// The record of operations, and the switch that makes chosen calls fail.
class Operations {
  public:
    struct Call {
        std::string operation;
        std::wstring detail;
    };

    /// Call number nth (from 1) of the operation fails; with persistent, every
    /// later call of it too.
    void failCall(const std::string& operation, int nth, Error error, bool persistent = false);
    void failEvery(const std::string& operation, Error error) {
        failCall(operation, 1, error, true);
    }

    /// Records the call and returns the error it must fail with, if any.
    std::optional<Error> enter(std::string_view operation, std::wstring detail = {});

    /// Records the call and throws the error it must fail with, if any.
    void enterOrThrow(std::string_view operation, std::wstring detail = {});

    const std::vector<Call>& calls() const { return calls_; }
    int count(std::string_view operation) const;

    /// Called with each operation and its number, once recorded.
    std::function<void(std::string_view operation, int nth)> afterRecording;

  private:
    struct Fault {
        int nth;
        bool persistent;
        Error error;
    };

    std::vector<Call> calls_;
    std::map<std::string, int, std::less<>> counts_;
    std::map<std::string, Fault, std::less<>> faults_;
};

}  // namespace tavrel::fake
