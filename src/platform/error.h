// The program's one error type and the three ways a procedure handles it.
#pragma once

#include <cstdint>
#include <new>
#include <stdexcept>
#include <string>
#include <utility>

namespace tavrel {

// Error numbers the program raises itself or maps operating-system failures onto.
// They follow the automation runtime's numbering, which the agent's own tools use.
namespace errnum {
inline constexpr std::int32_t kInvalidCall = 5;
inline constexpr std::int32_t kOutOfMemory = 7;
inline constexpr std::int32_t kBadFileName = 52;
inline constexpr std::int32_t kFileNotFound = 53;
inline constexpr std::int32_t kFileAlreadyExists = 58;
inline constexpr std::int32_t kPermissionDenied = 70;
inline constexpr std::int32_t kPathNotFound = 76;
inline constexpr std::int32_t kCannotCreateObject = 429;
inline constexpr std::int32_t kAutomationError = 440;
}  // namespace errnum

// A failed operation: the number and the description that the log shows.
class Error {
  public:
    Error(std::int32_t number, std::wstring description)
        : number_(number), description_(std::move(description)) {}

    std::int32_t number() const { return number_; }
    const std::wstring& description() const { return description_; }

  private:
    std::int32_t number_;
    std::wstring description_;
};

inline Error outOfMemoryError() {
    return Error(errnum::kOutOfMemory, L"Out of memory");
}

// Runs body; an Error, or an allocation failure turned into one, goes to onError.
// The library's allocation failures become Errors here; the seam turns the system's
// own out-of-memory answers into Errors where it meets them. Every trap thus sees
// the one error type. The end of the process is not an Error and passes through.
template <class Body, class OnError>
auto withTrap(Body&& body, OnError&& onError) -> decltype(body()) {
    try {
        return body();
    } catch (const Error& error) {
        return onError(error);
    } catch (const std::bad_alloc&) {
        return onError(outOfMemoryError());
    } catch (const std::length_error&) {
        return onError(outOfMemoryError());
    }
}

// One step of a procedure that skips failing steps and goes on with the next.
template <class Step>
void ignoreFailure(Step&& step) {
    withTrap([&] { step(); }, [](const Error&) {});
}

// A test whose own failure counts as yes, so that the step it guards still runs.
template <class Test>
bool answerOrYes(Test&& test) {
    return withTrap([&]() -> bool { return test(); }, [](const Error&) { return true; });
}

}  // namespace tavrel
