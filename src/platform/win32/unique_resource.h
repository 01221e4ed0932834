// One-line owners for the Windows resources the program holds.
#pragma once

#include <windows.h>

#include <utility>

namespace tavrel::win32 {

template <class T, auto Release>
class UniqueResource {
  public:
    UniqueResource() = default;
    explicit UniqueResource(T value) : value_(value) {}
    UniqueResource(UniqueResource&& other) noexcept : value_(std::exchange(other.value_, T{})) {}
    UniqueResource& operator=(UniqueResource&& other) noexcept {
        if (this != &other) {
            reset(std::exchange(other.value_, T{}));
        }
        return *this;
    }
    UniqueResource(const UniqueResource&) = delete;
    UniqueResource& operator=(const UniqueResource&) = delete;
    ~UniqueResource() { reset(); }

    T get() const { return value_; }
    explicit operator bool() const { return value_ != T{}; }

    /// Releases the held value; returns false when the release itself failed.
    bool reset(T value = T{}) {
        const T old = std::exchange(value_, value);
        return old == T{} || static_cast<bool>(Release(old));
    }

  private:
    T value_ = T{};
};

using UniqueHandle = UniqueResource<HANDLE, &::CloseHandle>;

inline BOOL closeRegistryKey(HKEY key) {
    return RegCloseKey(key) == ERROR_SUCCESS;
}
using UniqueKey = UniqueResource<HKEY, &closeRegistryKey>;

// CreateFile reports failure as INVALID_HANDLE_VALUE rather than null.
inline UniqueHandle ownFileHandle(HANDLE handle) {
    return UniqueHandle(handle == INVALID_HANDLE_VALUE ? nullptr : handle);
}

}  // namespace tavrel::win32
