// A copy of a registry key and everything under it, written back when it goes out of
// scope: for a test that takes a system registration away and must leave the machine as
// it found it, whatever the program under test does about it.
#pragma once

#include <windows.h>

#include <string>

namespace tavrel::e2e {

class SavedRegistryKey {
  public:
    /// Copies the key into a scratch key of the current user's; throws when it cannot.
    SavedRegistryKey(HKEY root, std::wstring path);
    /// Deletes the key as it then is, writes the copy back in its place and removes the
    /// scratch key.
    ~SavedRegistryKey();
    SavedRegistryKey(const SavedRegistryKey&) = delete;
    SavedRegistryKey& operator=(const SavedRegistryKey&) = delete;

  private:
    HKEY root_;
    std::wstring path_;
};

}  // namespace tavrel::e2e
