#include "platform/win32/win32_file_system.h"

#include <windows.h>

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "platform/win32/ansi_text.h"
#include "platform/win32/unique_resource.h"
#include "platform/win32/win32_error.h"

namespace tavrel::win32 {

namespace {

class Win32TextStream : public TextStream {
  public:
    explicit Win32TextStream(UniqueHandle file) : file_(std::move(file)) {}

    void writeLine(std::wstring_view text) override {
        requireOpen();
        std::string bytes = wideToAnsi(text);
        bytes += "\r\n";
        // Unbuffered: each line is the system's once WriteFile returns.
        const char* next = bytes.data();
        std::size_t left = bytes.size();
        while (left > 0) {
            DWORD written = 0;
            const DWORD chunk = left > 0x10000000 ? 0x10000000 : static_cast<DWORD>(left);
            if (!WriteFile(file_.get(), next, chunk, &written, nullptr)) {
                throwLastError();
            }
            next += written;
            left -= written;
        }
    }

    void close() override {
        requireOpen();
        if (!file_.reset()) {
            throwLastError();
        }
    }

  private:
    void requireOpen() const {
        if (!file_) {
            throw Error(errnum::kBadFileName, L"Bad file name or number");
        }
    }

    UniqueHandle file_;
};

DWORD attributesOf(const std::wstring& path) {
    return GetFileAttributesW(path.c_str());
}

bool isReadOnlyFile(DWORD attributes) {
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
           (attributes & FILE_ATTRIBUTE_READONLY) != 0;
}

}  // namespace

bool Win32FileSystem::fileExists(const std::wstring& path) {
    const DWORD attributes = attributesOf(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool Win32FileSystem::folderExists(const std::wstring& path) {
    const DWORD attributes = attributesOf(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

void Win32FileSystem::createFolder(const std::wstring& path) {
    if (!CreateDirectoryW(path.c_str(), nullptr)) {
        throwLastError();
    }
}

std::unique_ptr<TextStream> Win32FileSystem::createTextFile(const std::wstring& path) {
    // Checked here rather than left to the system: Wine run as root would replace it.
    if (isReadOnlyFile(attributesOf(path))) {
        throw errorFromWin32(ERROR_ACCESS_DENIED);
    }
    UniqueHandle file =
        ownFileHandle(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        throwLastError();
    }
    return std::make_unique<Win32TextStream>(std::move(file));
}

void Win32FileSystem::deleteFile(const std::wstring& path) {
    const DWORD attributes = attributesOf(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        throwLastError();
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        throw errorFromWin32(ERROR_FILE_NOT_FOUND);
    }
    // Without force a read-only file stays; checked here for the same reason as above.
    if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        throw errorFromWin32(ERROR_ACCESS_DENIED);
    }
    if (!DeleteFileW(path.c_str())) {
        throwLastError();
    }
}

void Win32FileSystem::moveFile(const std::wstring& source, const std::wstring& destination) {
    const DWORD attributes = attributesOf(source);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        throwLastError();
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        throw errorFromWin32(ERROR_FILE_NOT_FOUND);
    }
    // No replace flag: a move onto an existing file fails and changes nothing.
    // Copying is allowed, since the agent's folder may be on another volume.
    if (!MoveFileExW(source.c_str(), destination.c_str(), MOVEFILE_COPY_ALLOWED)) {
        throwLastError();
    }
}

std::unique_ptr<FileSystem> Win32FileSystemFactory::createFileSystem() {
    return std::make_unique<Win32FileSystem>();
}

}  // namespace tavrel::win32
