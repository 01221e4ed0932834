// What the fuzz targets share: reading the fuzzer's bytes, and the rules every result
// must keep. A broken rule names itself and aborts, so libFuzzer keeps the input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace tavrel::fuzz {

inline void require(bool holds, const char* what, const char* rule) {
    if (!holds) {
        std::fprintf(stderr, "FUZZ RULE BROKEN: %s: %s\n", what, rule);
        std::abort();
    }
}

// What the readers hand back: no NUL, and no blank left at either end.
inline void requireCleanText(std::wstring_view text, const char* what) {
    require(text.find(L'\0') == std::wstring_view::npos, what, "NUL in the result");
    require(text.empty() || (text.front() != L' ' && text.back() != L' '), what,
            "result not trimmed of blanks");
}

// The fuzzer's bytes taken from the front; an exhausted input reads as zeros.
class Input {
  public:
    Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    std::uint8_t byte() { return pos_ < size_ ? data_[pos_++] : 0; }
    std::uint32_t u16() { return byte() | static_cast<std::uint32_t>(byte()) << 8; }
    std::uint32_t u32() { return u16() | u16() << 16; }
    std::string rest() {
        std::string bytes(reinterpret_cast<const char*>(data_) + pos_, size_ - pos_);
        pos_ = size_;
        return bytes;
    }

  private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

// Bytes of a single-byte code page as wide text, one character a byte, as the fake does.
inline std::wstring widen(std::string_view bytes) {
    const auto* first = reinterpret_cast<const unsigned char*>(bytes.data());
    return std::wstring(first, first + bytes.size());
}

}  // namespace tavrel::fuzz
