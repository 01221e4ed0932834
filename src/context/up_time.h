// The uptime in whole seconds, in the forms the run gives it: nothing measured yet,
// the decimal text WMI delivers, or the count the tick fallback works out.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <variant>

namespace tavrel {

class UpTime {
  public:
    /// Nothing measured yet: the integer 0.
    UpTime() = default;
    static UpTime fromText(std::wstring text) { return UpTime(std::move(text)); }
    static UpTime fromSeconds(std::uint64_t seconds) { return UpTime(seconds); }

    /// The form the report and the log use.
    std::wstring text() const;

    /// Compares with 0 by the number the value reads as ("0" counts as zero). Throws
    /// Error (type mismatch) for text that reads as no number.
    bool isZero() const;

  private:
    explicit UpTime(std::wstring text) : value_(std::move(text)) {}
    explicit UpTime(std::uint64_t seconds) : value_(seconds) {}

    std::variant<std::uint64_t, std::wstring> value_{std::uint64_t{0}};
};

}  // namespace tavrel
