// Owners for the COM values the program holds: BSTRs, VARIANTs, COM pointers and
// the apartment itself.
#pragma once

#include <objbase.h>
#include <oleauto.h>
#include <windows.h>
#include <wrl/client.h>

#include <string>
#include <string_view>
#include <utility>

#include "platform/error.h"

namespace tavrel::win32 {

using Microsoft::WRL::ComPtr;

// A BSTR owned by the caller; a null BSTR is the empty text, as automation treats it.
class UniqueBstr {
  public:
    UniqueBstr() = default;
    // Named, not constructors: a BSTR converts silently to a string view, and
    // copying where adopting was meant would leak.
    static UniqueBstr fromText(std::wstring_view text) { return UniqueBstr(allocate(text)); }
    static UniqueBstr adopt(BSTR value) { return UniqueBstr(value); }

    UniqueBstr(UniqueBstr&& other) noexcept : value_(std::exchange(other.value_, nullptr)) {}
    UniqueBstr& operator=(UniqueBstr&& other) noexcept {
        if (this != &other) {
            reset(std::exchange(other.value_, nullptr));
        }
        return *this;
    }
    UniqueBstr(const UniqueBstr&) = delete;
    UniqueBstr& operator=(const UniqueBstr&) = delete;
    ~UniqueBstr() { reset(); }

    BSTR get() const { return value_; }

    /// The held BSTR's own slot, for a callee that may free and replace it in place
    /// (a by-reference argument); the owner keeps whatever ends up there.
    BSTR* slot() { return &value_; }

    void reset(BSTR value = nullptr) { SysFreeString(std::exchange(value_, value)); }

    std::wstring text() const { return textOf(value_); }

    static std::wstring textOf(BSTR value) {
        return value == nullptr ? std::wstring() : std::wstring(value, SysStringLen(value));
    }

  private:
    explicit UniqueBstr(BSTR value) : value_(value) {}

    static BSTR allocate(std::wstring_view text) {
        // Embedded NULs survive: the length travels with the BSTR.
        BSTR value = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
        if (value == nullptr) {
            throw outOfMemoryError();
        }
        return value;
    }

    BSTR value_ = nullptr;
};

// A VARIANT that is cleared, with whatever it holds, when the owner goes.
class UniqueVariant {
  public:
    UniqueVariant() { VariantInit(&value_); }
    UniqueVariant(UniqueVariant&& other) noexcept : value_(other.value_) {
        VariantInit(&other.value_);
    }
    UniqueVariant& operator=(UniqueVariant&& other) noexcept {
        if (this != &other) {
            VariantClear(&value_);
            value_ = other.value_;
            VariantInit(&other.value_);
        }
        return *this;
    }
    UniqueVariant(const UniqueVariant&) = delete;
    UniqueVariant& operator=(const UniqueVariant&) = delete;
    ~UniqueVariant() { VariantClear(&value_); }

    VARIANT& get() { return value_; }
    const VARIANT& get() const { return value_; }
    VARTYPE type() const { return V_VT(&value_); }

    /// Empties the variant and hands out its address for a callee to fill.
    VARIANT* put() {
        VariantClear(&value_);
        return &value_;
    }

  private:
    VARIANT value_;
};

// COM on this thread for the life of the owner; a nested start is balanced too.
class ComApartment {
  public:
    ComApartment() : initialised_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;
    ~ComApartment() { leave(); }

    /// Leaves COM before the owner's end, unloading the libraries whose objects are
    /// all released.
    void leave() {
        if (initialised_) {
            initialised_ = false;
            CoUninitialize();
        }
    }

  private:
    bool initialised_;
};

}  // namespace tavrel::win32
