// An in-memory operating system behind the whole seam, for unit tests: it holds
// state, records every operation, and fails any call on request.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/error.h"
#include "platform/platform.h"
#include "run/run_state.h"

namespace tavrel::fake {

// What the fake host throws to end the process; no trap of the program catches it.
struct ProcessEnded {};

enum class Ending { Returned, AtOnce };

/// Runs Main and says how it ended.
Ending runMain(RunContext& run);

// The record of operations, and the switch that makes chosen calls fail.
class Operations {
  public:
    struct Call {
        std::string operation;
        std::wstring detail;
    };

    /// Call number nth (from 1) of the operation fails; with persistent, every
    /// later call of it too.
    void failCall(const std::string& operation, int nth, Error error, bool persistent = false);
    void failEvery(const std::string& operation, Error error) {
        failCall(operation, 1, error, true);
    }

    /// Records the call and returns the error it must fail with, if any.
    std::optional<Error> enter(std::string_view operation, std::wstring detail = {});

    /// Records the call and throws the error it must fail with, if any.
    void enterOrThrow(std::string_view operation, std::wstring detail = {});

    const std::vector<Call>& calls() const { return calls_; }
    int count(std::string_view operation) const;

  private:
    struct Fault {
        int nth;
        bool persistent;
        Error error;
    };

    std::vector<Call> calls_;
    std::map<std::string, int, std::less<>> counts_;
    std::map<std::string, Fault, std::less<>> faults_;
};

class FakeHost : public Host {
  public:
    explicit FakeHost(Operations& ops) : ops_(ops) {}

    bool previousInstanceRunning() override;
    std::wstring executableFolder() override;

    bool anotherCopyRunning = false;
    std::wstring exeFolder = L"C:\\Program Files\\Tavrel";

  private:
    void endProcess() override;

    Operations& ops_;
};

class FakeRegistry : public Registry {
  public:
    explicit FakeRegistry(Operations& ops) : ops_(ops) {}

    RegistryOpenResult openKey(RegistryRoot root, const std::wstring& subKey, std::uint32_t options,
                               std::uint32_t accessMask) override;
    long closeKey(std::uintptr_t handle) override;

    /// Adds a key under HKEY_LOCAL_MACHINE.
    void addKey(const std::wstring& subKey);
    void removeKey(const std::wstring& subKey);

    /// Keys that exist but refuse full access.
    std::set<std::wstring> deniedKeys;
    /// When set, a successful open hands back a null handle.
    bool openGivesNullHandle = false;

    std::size_t openKeyCount() const { return openHandles_.size(); }

  private:
    Operations& ops_;
    std::set<std::wstring> keys_;
    std::set<std::uintptr_t> openHandles_;
    std::uintptr_t nextHandle_ = 0x100;
};

// A file tree shared by every file-system object of a run.
class FileTree {
  public:
    struct File {
        std::wstring path;  // as last created or moved
        std::wstring content;
        bool readOnly = false;
        int openStreams = 0;
    };

    FileTree();

    /// Test set-up: a folder and all its parents.
    void addFolder(const std::wstring& path);
    /// Test set-up: a file (its folder must exist) with the given content.
    void addFile(const std::wstring& path, const std::wstring& content, bool readOnly = false);

    bool hasFile(const std::wstring& path) const;
    bool hasFolder(const std::wstring& path) const;
    /// The folder's name as it was created.
    std::optional<std::wstring> folderName(const std::wstring& path) const;
    std::optional<std::wstring> content(const std::wstring& path) const;
    /// Every file, by the path it was last created or moved under.
    std::vector<std::wstring> filePaths() const;

    /// Windows path rules: one separator for a doubled backslash, no trailing one, any case.
    static std::wstring keyOf(const std::wstring& path);

    std::map<std::wstring, std::shared_ptr<File>> files;
    std::map<std::wstring, std::wstring> folders;  // key -> name as created
    int liveStreams = 0;
    int liveFileSystems = 0;
};

class FakeFileSystem : public FileSystem {
  public:
    FakeFileSystem(FileTree& tree, Operations& ops);
    ~FakeFileSystem() override;

    bool fileExists(const std::wstring& path) override;
    bool folderExists(const std::wstring& path) override;
    void createFolder(const std::wstring& path) override;
    std::unique_ptr<TextStream> createTextFile(const std::wstring& path) override;
    void deleteFile(const std::wstring& path) override;
    void moveFile(const std::wstring& source, const std::wstring& destination) override;

  private:
    bool parentExists(const std::wstring& key) const;

    FileTree& tree_;
    Operations& ops_;
};

class FakeFileSystemFactory : public FileSystemFactory {
  public:
    FakeFileSystemFactory(FileTree& tree, Operations& ops) : tree_(tree), ops_(ops) {}
    std::unique_ptr<FileSystem> createFileSystem() override;

  private:
    FileTree& tree_;
    Operations& ops_;
};

class FakeClock : public Clock {
  public:
    explicit FakeClock(Operations& ops) : ops_(ops) {}

    LocalTime now() override;
    std::wstring timeSeparator() override;

    LocalTime time{2026, 3, 7, 14, 5, 9};
    std::wstring separator = L":";

  private:
    Operations& ops_;
};

// The agent machine as tests set it up: the agent key present, the executable's
// folder present, nothing else.
struct FakePlatform {
    FakePlatform();

    Operations ops;
    FakeHost host{ops};
    FakeRegistry registry{ops};
    FileTree tree;
    FakeFileSystemFactory fileSystems{tree, ops};
    FakeClock clock{ops};

    Platform view() { return Platform{host, registry, fileSystems, clock}; }

    /// The path of the run log next to the executable.
    std::wstring exeLogPath() const { return host.exeFolder + L"\\TavrelLog.txt"; }
    /// The messages of the run log next to the executable, without timestamps.
    std::vector<std::wstring> exeLogMessages() const;
};

}  // namespace tavrel::fake
