// A copy of a registry key and everything under it, with the key's security, written back
// when it goes out of scope: for a test that takes a system registration away and must
// leave the machine as it found it, whatever the program under test does about it.
//
// The copy, kept under the current user's key, may be the last one of the system's
// registration: nothing deletes it before the key is back. A copy that an interrupted
// run left behind is written back first, and then serves as this run's.
#pragma once

#include <windows.h>

#include <string>

namespace tavrel::e2e {

class SavedRegistryKey {
  public:
    /// Writes back an interrupted run's copy, or copies the key; throws when it cannot.
    SavedRegistryKey(HKEY root, std::wstring path);
    /// Writes the copy over the key as it then is (values, subkeys and security, removing
    /// what the copy lacks), and only then deletes the copy; one it cannot write back stays.
    ~SavedRegistryKey();
    SavedRegistryKey(const SavedRegistryKey&) = delete;
    SavedRegistryKey& operator=(const SavedRegistryKey&) = delete;

  private:
    void restore() const;

    HKEY root_;
    std::wstring path_;
    std::wstring holder_;  // where the copy is kept, under HKEY_CURRENT_USER
};

}  // namespace tavrel::e2e
