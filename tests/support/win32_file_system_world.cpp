#include <windows.h>

#include <atomic>
#include <memory>
#include <optional>
#include <string>

#include "platform/win32/unique_resource.h"
#include "platform/win32/win32_file_system.h"
#include "support/file_system_world.h"

namespace tavrel::contract {

namespace {

void removeTree(const std::wstring& folder) {
    WIN32_FIND_DATAW entry{};
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &entry);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = entry.cFileName;
            if (name == L"." || name == L"..") {
                continue;
            }
            const std::wstring path = folder + L"\\" + name;
            if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
                removeTree(path);
            } else {
                SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(path.c_str());
            }
        } while (FindNextFileW(search, &entry));
        FindClose(search);
    }
    RemoveDirectoryW(folder.c_str());
}

class Win32FileSystemWorld : public FileSystemWorld {
  public:
    Win32FileSystemWorld() {
        static std::atomic<int> counter{0};
        wchar_t temp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, temp);
        root_ = std::wstring(temp) + L"tavrel contract " + std::to_wstring(GetCurrentProcessId()) +
                L"-" + std::to_wstring(++counter);
        removeTree(root_);
        CreateDirectoryW(root_.c_str(), nullptr);
    }
    ~Win32FileSystemWorld() override { removeTree(root_); }

    FileSystem& fileSystem() override { return fileSystem_; }
    std::wstring root() override { return root_; }
    void makeFolder(const std::wstring& path) override { CreateDirectoryW(path.c_str(), nullptr); }
    void makeFile(const std::wstring& path, const std::string& bytes, bool readOnly) override {
        auto file =
            win32::ownFileHandle(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                             FILE_ATTRIBUTE_NORMAL, nullptr));
        DWORD written = 0;
        WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        file.reset();
        if (readOnly) {
            SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY);
        }
    }
    std::optional<std::string> bytesOf(const std::wstring& path) override {
        auto file = win32::ownFileHandle(
            CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) {
            return std::nullopt;
        }
        std::string bytes;
        char buffer[4096];
        DWORD read = 0;
        while (ReadFile(file.get(), buffer, sizeof buffer, &read, nullptr) && read > 0) {
            bytes.append(buffer, read);
        }
        return bytes;
    }

  private:
    std::wstring root_;
    win32::Win32FileSystem fileSystem_;
};

}  // namespace

std::unique_ptr<FileSystemWorld> makeFileSystemWorld() {
    return std::make_unique<Win32FileSystemWorld>();
}

}  // namespace tavrel::contract
