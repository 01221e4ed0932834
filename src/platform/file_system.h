// File and folder operations, with the results and effects the program relies on.
// Paths are Windows paths: backslash separators, names compared without regard to
// case, a doubled backslash counting as one separator. Every failure throws Error.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace tavrel {

// A text file open for writing. Closing it (or destroying it) completes the file.
class TextStream {
  public:
    virtual ~TextStream() = default;

    /// Appends the text and CR LF, in the system ANSI code page. The bytes are handed
    /// to the operating system before this returns, so an end at once keeps them.
    virtual void writeLine(std::wstring_view text) = 0;

    /// Closes the file; later writes throw Error.
    virtual void close() = 0;
};

class FileSystem {
  public:
    virtual ~FileSystem() = default;

    /// True when a file (not a folder) of that name exists.
    virtual bool fileExists(const std::wstring& path) = 0;

    /// True when a folder of that name exists; a trailing backslash is allowed.
    virtual bool folderExists(const std::wstring& path) = 0;

    /// Creates one folder whose parent exists; throws when it exists already.
    virtual void createFolder(const std::wstring& path) = 0;

    /// A stream on a new, empty ANSI text file; an existing file of that name is
    /// replaced (a read-only one is not, and throws).
    virtual std::unique_ptr<TextStream> createTextFile(const std::wstring& path) = 0;

    /// Deletes the file without force: a read-only file is not deleted and throws.
    virtual void deleteFile(const std::wstring& path) = 0;

    /// Moves a file to the full destination file path. A move onto an existing
    /// file throws and changes nothing.
    virtual void moveFile(const std::wstring& source, const std::wstring& destination) = 0;
};

class FileSystemFactory {
  public:
    virtual ~FileSystemFactory() = default;

    /// A new file-system object. Throws Error when it cannot be created.
    virtual std::unique_ptr<FileSystem> createFileSystem() = 0;
};

}  // namespace tavrel
