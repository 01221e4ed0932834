// A copy of a registry key and everything under it, written back when it goes out of
// scope: for a test that takes a system registration away and must leave the machine as
// it found it, whatever the program under test does about it.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace tavrel::e2e {

class SavedRegistryKey {
  public:
    /// Copies the key now; throws when it cannot be read.
    SavedRegistryKey(HKEY root, std::wstring path);
    /// Deletes the key as it then is and writes the copy back in its place.
    ~SavedRegistryKey();
    SavedRegistryKey(const SavedRegistryKey&) = delete;
    SavedRegistryKey& operator=(const SavedRegistryKey&) = delete;

    struct Value {
        std::wstring name;
        DWORD type;
        std::vector<BYTE> bytes;
    };
    struct Tree {
        std::wstring name;
        std::vector<Value> values;
        std::vector<Tree> subkeys;
    };

  private:
    HKEY root_;
    std::wstring path_;
    Tree saved_;
};

}  // namespace tavrel::e2e
