#include "platform/win32/pipe_line.h"

namespace tavrel::win32 {

namespace {

// Far beyond any report, and below what a 32-bit process could hold twice.
constexpr std::uint32_t kLargestMessage = 64u << 20;

}  // namespace

bool PipeLine::send(const std::string& message) {
    if (!writing_ || message.size() > kLargestMessage) {
        return false;
    }
    std::string framed(4, '\0');
    const auto size = static_cast<std::uint32_t>(message.size());
    for (int i = 0; i < 4; ++i) {
        framed[i] = static_cast<char>((size >> (8 * i)) & 0xFFu);
    }
    framed += message;
    DWORD sent = 0;
    for (std::size_t offset = 0; offset < framed.size(); offset += sent) {
        if (!WriteFile(writing_.get(), framed.data() + offset,
                       static_cast<DWORD>(framed.size() - offset), &sent, nullptr)) {
            return false;
        }
    }
    return true;
}

std::optional<std::string> PipeLine::receive() {
    unsigned char header[4];
    if (!reading_ || !readExactly(reinterpret_cast<char*>(header), 4)) {
        return std::nullopt;
    }
    const std::uint32_t size = header[0] | (header[1] << 8) | (header[2] << 16) |
                               (static_cast<std::uint32_t>(header[3]) << 24);
    if (size > kLargestMessage) {
        return std::string();
    }
    std::string message(size, '\0');
    if (!readExactly(message.data(), size)) {
        return std::nullopt;
    }
    return message;
}

bool PipeLine::readExactly(char* into, DWORD size) {
    DWORD read = 0;
    for (DWORD offset = 0; offset < size; offset += read) {
        if (!ReadFile(reading_.get(), into + offset, size - offset, &read, nullptr) || read == 0) {
            return false;
        }
    }
    return true;
}

}  // namespace tavrel::win32
