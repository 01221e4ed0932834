// A file system under test with the means to set up and inspect its files, so the
// same contract cases run against the fake and, under Wine, against the real one.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/file_system.h"

namespace tavrel::contract {

class FileSystemWorld {
  public:
    virtual ~FileSystemWorld() = default;

    virtual FileSystem& fileSystem() = 0;
    /// An existing, empty folder to work in, without a trailing backslash.
    virtual std::wstring root() = 0;
    virtual void makeFolder(const std::wstring& path) = 0;
    virtual void makeFile(const std::wstring& path, const std::string& bytes, bool readOnly) = 0;
    /// The file's bytes, or nothing when there is no such file.
    virtual std::optional<std::string> bytesOf(const std::wstring& path) = 0;
};

/// Each test binary links the world it tests.
std::unique_ptr<FileSystemWorld> makeFileSystemWorld();

}  // namespace tavrel::contract
