#pragma once

#include <memory>
#include <string>

#include "platform/file_system.h"

namespace tavrel::win32 {

// File work through the Windows file functions, with the results and effects of
// the Scripting runtime's file-system object that the program relies on.
class Win32FileSystem : public FileSystem {
  public:
    bool fileExists(const std::wstring& path) override;
    bool folderExists(const std::wstring& path) override;
    void createFolder(const std::wstring& path) override;
    std::unique_ptr<TextStream> createTextFile(const std::wstring& path) override;
    void deleteFile(const std::wstring& path) override;
    void moveFile(const std::wstring& source, const std::wstring& destination) override;
    // In win32_file_security.cpp.
    ObjectSecurity readSecurity(const std::wstring& path) override;
    std::wstring runningAccountSid() override;
    std::wstring accountName(const std::wstring& sid) override;
    std::wstring finalPath(const std::wstring& path) override;
    FileIdentity fileIdentity(const std::wstring& path) override;
};

class Win32FileSystemFactory : public FileSystemFactory {
  public:
    std::unique_ptr<FileSystem> createFileSystem() override;
};

}  // namespace tavrel::win32
