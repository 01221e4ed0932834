#pragma once

#include <cstdint>
#include <string>

#include "platform/registry.h"

namespace tavrel::win32 {

class Win32Registry : public Registry {
  public:
    RegistryOpenResult openKey(RegistryRoot root, const std::wstring& subKey, std::uint32_t options,
                               std::uint32_t accessMask) override;
    long closeKey(std::uintptr_t handle) override;
    RegistryValueSize queryValueSize(std::uintptr_t key, const std::wstring& valueName) override;
    RegistryValueData queryValueData(std::uintptr_t key, const std::wstring& valueName,
                                     std::uint32_t byteCount) override;
};

}  // namespace tavrel::win32
