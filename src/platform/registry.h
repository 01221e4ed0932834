// The agent's registry key, reached through the ANSI registry functions.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

namespace tavrel {

inline constexpr std::uint32_t kKeyAllAccess = 0xF003F;
inline constexpr std::uint32_t kKeyRead = 0x20019;
inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegExpandSz = 2;
inline constexpr long kErrorMoreData = 234;

enum class RegistryRoot { LocalMachine, ClassesRoot };

class Registry;

// An open key; closes itself unless closed explicitly first. A handle of 0 is
// what the open call may hand back even on success, and is never closed.
class RegistryKey {
  public:
    RegistryKey() = default;
    RegistryKey(Registry* owner, std::uintptr_t handle) : owner_(owner), handle_(handle) {}
    RegistryKey(RegistryKey&& other) noexcept
        : owner_(std::exchange(other.owner_, nullptr)), handle_(std::exchange(other.handle_, 0)) {}
    RegistryKey& operator=(RegistryKey&& other) noexcept {
        if (this != &other) {
            close();
            owner_ = std::exchange(other.owner_, nullptr);
            handle_ = std::exchange(other.handle_, 0);
        }
        return *this;
    }
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;
    ~RegistryKey() { close(); }

    std::uintptr_t handle() const { return handle_; }
    bool isNull() const { return handle_ == 0; }

    /// Closes the key; returns the close call's result code (0 when nothing was open).
    long close();

  private:
    Registry* owner_ = nullptr;
    std::uintptr_t handle_ = 0;
};

struct RegistryOpenResult {
    long resultCode = 0;  // 0 is success, as RegOpenKeyExA returns it
    RegistryKey key;
};

// What the size query of a value reports.
struct RegistryValueSize {
    long resultCode = 0;
    std::uint32_t type = 0;
    std::uint32_t byteCount = 0;  // includes the terminating NUL when the data has one
};

// What the data query of a value leaves in its buffer.
struct RegistryValueData {
    long resultCode = 0;
    // The whole buffer, byteCount bytes from the system ANSI code page as wide text,
    // embedded and trailing NULs kept.
    std::wstring text;
};

class Registry {
  public:
    virtual ~Registry() = default;

    /// RegOpenKeyExA on the root with the sub key (sent as ANSI text), options and
    /// access mask, in the default registry view. Returns the result code and the
    /// handle; never throws for a refused open, which is a result code.
    virtual RegistryOpenResult openKey(RegistryRoot root, const std::wstring& subKey,
                                       std::uint32_t options, std::uint32_t accessMask) = 0;

    /// RegCloseKey; returns its result code and never throws.
    virtual long closeKey(std::uintptr_t handle) = 0;

    /// RegQueryValueExA with no data buffer, type and size variables starting at 0.
    virtual RegistryValueSize queryValueSize(std::uintptr_t key, const std::wstring& valueName) = 0;

    /// RegQueryValueExA into a buffer of exactly byteCount zero bytes, the size variable
    /// starting at byteCount. A value that grew since the size query gives
    /// kErrorMoreData. Throws Error only when the buffer cannot be had or the name
    /// or the data cannot be converted between the code page and wide text.
    virtual RegistryValueData queryValueData(std::uintptr_t key, const std::wstring& valueName,
                                             std::uint32_t byteCount) = 0;
};

inline long RegistryKey::close() {
    if (owner_ == nullptr || handle_ == 0) {
        return 0;
    }
    const long result = owner_->closeKey(std::exchange(handle_, 0));
    owner_ = nullptr;
    return result;
}

}  // namespace tavrel
