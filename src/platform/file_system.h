// File and folder operations, with the results and effects the program relies on.
// Paths are Windows paths: backslash separators, names compared without regard to
// case, a doubled backslash counting as one separator. A failure throws Error unless
// the operation says otherwise.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

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

// One entry of a file's or folder's DACL.
struct AccessEntry {
    bool allows = true;        // false for a deny entry: it grants nothing
    bool inheritOnly = false;  // for what is created below only: grants nothing on the object
    std::uint32_t mask = 0;    // the access rights, as the entry holds them
    std::wstring sid;          // the account, as "S-1-5-18"
    int unknownType = -1;      // the entry's type where it is neither an allow nor a deny
};

// Who owns a file or folder, and what its DACL grants.
struct ObjectSecurity {
    std::wstring ownerSid;
    bool hasDacl = true;  // false for a null DACL, which lets everyone do everything
    std::vector<AccessEntry> entries;
    bool isLink = false;  // a reparse point: opening its name may reach another object
};

// Which file a name reaches: two names of one file give the same identity.
struct FileIdentity {
    std::uint32_t volumeSerial = 0;
    std::uint64_t fileIndex = 0;
    bool operator==(const FileIdentity&) const = default;
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

    /// The owner and the DACL of the file or folder as it stands at its name (a drive's
    /// root given as "C:\"): a link's own, not its target's. Throws Error, with the
    /// system's description, when they cannot be read.
    virtual ObjectSecurity readSecurity(const std::wstring& path) = 0;

    /// The path Windows reaches through the name, every link followed: "C:\x",
    /// "\\server\share\x", or "\\?\Volume{...}\x" on a volume without a drive letter.
    /// Throws Error when it cannot be resolved (a loop of links among them).
    virtual std::wstring finalPath(const std::wstring& path) = 0;

    /// The identity of the file Windows opens at path, links followed. Throws Error.
    virtual FileIdentity fileIdentity(const std::wstring& path) = 0;

    /// The SID of the account this process runs as, as text. Throws Error.
    virtual std::wstring runningAccountSid() = 0;

    /// The account's name as DOMAIN\name (or name alone where it has no domain), or the
    /// SID itself where the system knows no name for it.
    virtual std::wstring accountName(const std::wstring& sid) = 0;
};

class FileSystemFactory {
  public:
    virtual ~FileSystemFactory() = default;

    /// A new file-system object. Throws Error when it cannot be created.
    virtual std::unique_ptr<FileSystem> createFileSystem() = 0;
};

}  // namespace tavrel
