// An in-memory operating system behind the whole seam, for unit tests: it holds
// state, records every operation, and fails any call on request.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "context/run_state.h"
#include "platform/error.h"
#include "platform/platform.h"
#include "support/exit_status_print.h"
#include "support/fake_automation.h"
#include "support/fake_child.h"
#include "support/fake_wmi.h"
#include "support/operations.h"

namespace tavrel::fake {

// What the fake host throws to end the process; no trap of the program catches it.
struct ProcessEnded {};
// What an operation of the end's report throws for a call that never comes back: the
// host's bound on the last words runs out, and the process ends without the rest.
struct BoundRanOut {};

enum class Ending { Returned, AtOnce };

/// Runs Main and says how it ended.
Ending runMain(RunContext& run);

class FileTree;

class FakeHost : public Host {
  public:
    explicit FakeHost(Operations& ops) : ops_(ops) {}

    bool previousInstanceRunning() override;
    std::wstring executableFolder() override;
    // The watchdog and the fault filter are proven under Wine; here they are recorded,
    // and fire where a test interrupts the run.
    void endFaultsWith(std::uint32_t status) override { guard_.faultStatus = status; }
    void guardRun(RunGuard guard) override;
    void setReleaseAtEnd(std::function<void()>) override {}
    std::unique_ptr<Lock> createLock() override;

    /// Runs the end's report as the host does when the process ends with `status`.
    void reportEnd(std::uint32_t status);

    /// Has the watchdog reach its limit (or, with a fault code, a fault happen) just
    /// as the run makes call number nth of the operation.
    void interruptAt(const std::string& operation, int nth,
                     std::optional<std::uint32_t> faultCode = std::nullopt);

    bool anotherCopyRunning = false;
    std::wstring exeFolder = L"C:\\Program Files\\Tavrel";
    std::optional<std::uint32_t> watchdogSeconds;
    /// The status the process ended with at once, if it did.
    std::optional<ExitStatus> endedWith;
    /// A lock the host made: whether it is held, and how long each tryAcquire of it was
    /// willing to wait. The fake refuses a nested hold, which the run never takes.
    struct LockState {
        bool held = false;
        std::vector<std::uint32_t> waits;
    };
    /// In the order the run makes them: the log's first, then the trace's.
    std::deque<LockState> locks;
    bool logLockHeld() const { return !locks.empty() && locks.front().held; }
    /// Set when the end's report was cut off by the host's bound.
    bool reportCutOff = false;

  private:
    void endProcess(std::uint32_t status) override;

    Operations& ops_;
    RunGuard guard_;
    struct Interruption {
        std::string operation;
        int nth;
        std::optional<std::uint32_t> faultCode;
    };
    std::optional<Interruption> interruption_;
};

/// The status the process ends with: the one it ended with at once, or the one Main
/// returned with.
ExitStatus exitStatusOf(const RunContext& run, const FakeHost& host);

class FakeRegistry : public Registry {
  public:
    struct Value {
        std::uint32_t type = 0;
        std::string bytes;  // raw data, one byte a character
    };

    explicit FakeRegistry(Operations& ops) : ops_(ops) {}

    /// Where keys opened under HKEY_CLASSES_ROOT live in this registry.
    static constexpr const wchar_t* kClassesRoot = L"HKCR\\";

    RegistryOpenResult openKey(RegistryRoot root, const std::wstring& subKey, std::uint32_t options,
                               std::uint32_t accessMask) override;
    long closeKey(std::uintptr_t handle) override;
    RegistryValueSize queryValueSize(std::uintptr_t key, const std::wstring& valueName) override;
    RegistryValueData queryValueData(std::uintptr_t key, const std::wstring& valueName,
                                     std::uint32_t byteCount) override;

    /// Adds a key under HKEY_LOCAL_MACHINE (or, named under kClassesRoot, HKEY_CLASSES_ROOT).
    void addKey(const std::wstring& subKey);
    void removeKey(const std::wstring& subKey);

    /// Raw data of any type; the key must exist.
    void setValue(const std::wstring& subKey, const std::wstring& name, std::uint32_t type,
                  std::string bytes);
    /// A REG_SZ value stored with its terminator, as the agent writes it.
    void setString(const std::wstring& subKey, const std::wstring& name, const std::wstring& text);
    void removeValue(const std::wstring& subKey, const std::wstring& name);

    /// Keys that exist but refuse full access.
    std::set<std::wstring> deniedKeys;
    /// When set, a successful open hands back a null handle.
    bool openGivesNullHandle = false;
    /// Values (by lower-case name) rewritten between their size and data queries.
    std::map<std::wstring, std::string> rewrittenBeforeDataQuery;

    std::size_t openKeyCount() const { return openHandles_.size(); }

  private:
    const Value* findValue(std::uintptr_t key, const std::wstring& name, long& resultCode) const;

    Operations& ops_;
    std::map<std::wstring, std::map<std::wstring, Value>> keys_;  // lower-case names
    std::map<std::uintptr_t, std::wstring> openHandles_;
    std::uintptr_t nextHandle_ = 0x100;
};

// Profile files read from the fake file tree with the Windows parsing rules.
class FakeProfileReader : public ProfileReader {
  public:
    FakeProfileReader(FileTree& tree, Operations& ops) : tree_(tree), ops_(ops) {}

    ProfileString readString(const std::wstring& section, const std::wstring& key,
                             const std::wstring& defaultText, std::uint32_t bufferSize,
                             const std::wstring& fileName) override;

  private:
    FileTree& tree_;
    Operations& ops_;
};

// A file tree shared by every file-system object of a run.
class FileTree {
  public:
    struct File {
        std::wstring path;  // as last created or moved
        std::wstring content;
        bool readOnly = false;
        int openStreams = 0;
        std::uint64_t index = 0;  // its file index: one per file
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
    /// Called as a stream is created, written or closed: the run log's owner throws
    /// where the run does that without the log's lock, which keeps last words out.
    std::function<void(const std::wstring& path)> checkStreamUse;

    // Who may change what. Wine builds a descriptor from a file's Unix owner and mode
    // only; inherit-only entries, named groups and accounts are shown here instead.
    static constexpr const wchar_t* kRunningAccount = L"S-1-5-21-7-7-7-1001";
    static constexpr const wchar_t* kUsers = L"S-1-5-32-545";
    /// Owners and DACLs by path key; any other path has `protectedSecurity`. A link's
    /// entry says isLink; so may another reparse point's, which leads nowhere else.
    std::map<std::wstring, ObjectSecurity> security;
    ObjectSecurity protectedSecurity{kRunningAccount,
                                     true,
                                     {{true, false, 0x1F01FF, L"S-1-5-18"},
                                      {true, false, 0x1F01FF, L"S-1-5-32-544"},
                                      {true, false, 0x1200A9, kUsers}}};
    /// Gives an untrusted account a right on the path, as an installer's mistake would.
    void openToOthers(const std::wstring& path, std::uint32_t mask = 0x2);
    std::map<std::wstring, std::wstring> accountNames{{kUsers, L"BUILTIN\\Users"}};
    /// Long forms of paths, by path key; any other path is its own.
    std::map<std::wstring, std::wstring> longNames;
    /// Links, by the key of the link's own path: where Windows goes on through it. The
    /// link's own owner and DACL are in `security`, under that key.
    std::map<std::wstring, std::wstring> links;
    /// The path with every link on it followed, the last name's too where followLast;
    /// throws, as Windows does, past 63 links.
    std::wstring resolve(const std::wstring& path, bool followLast = true) const;

    int liveStreams = 0;
    int liveFileSystems = 0;
    std::uint64_t filesMade = 0;
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
    ObjectSecurity readSecurity(const std::wstring& path) override;
    std::wstring runningAccountSid() override;
    std::wstring accountName(const std::wstring& sid) override;
    std::wstring finalPath(const std::wstring& path) override;
    FileIdentity fileIdentity(const std::wstring& path) override;

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

class FakeSystem : public System {
  public:
    struct Start {
        std::wstring program;
        std::wstring commandLine;
    };

    explicit FakeSystem(Operations& ops) : ops_(ops) {}

    WindowsDirectory windowsDirectory(std::uint32_t bufferSize) override;
    std::uint64_t tickCount() override;
    /// Maps a to z and the Latin-1 letters, as the invariant mapping does.
    std::wstring toUpperInvariant(const std::wstring& text) override;
    /// Expands the names in `environment`.
    std::wstring expandEnvironmentStrings(const std::wstring& text) override;
    void startSystemProgramHidden(const std::wstring& programName,
                                  const std::wstring& commandLine) override;
    void sleep(std::uint32_t milliseconds) override;

    std::wstring windowsFolder = L"C:\\Windows";
    std::map<std::wstring, std::wstring> environment{{L"ProgramFiles", L"C:\\Program Files"}};
    std::uint64_t ticks = 900000;
    std::vector<Start> started;
    std::vector<std::uint32_t> pauses;

  private:
    Operations& ops_;
};

// The Application log: the events written, in order.
class FakeEventLog : public EventLog {
  public:
    explicit FakeEventLog(Operations& ops) : ops_(ops) {}

    void reportEvent(const LogEvent& event) override;

    std::vector<LogEvent> events;
    /// The call never comes back, as with a stuck event-log service.
    bool blocks = false;

  private:
    Operations& ops_;
};

// The agent machine as tests set it up: the agent key with a normal agent's values,
// its installation folder with the web-post library and the executable's folder
// present (no ApplicationLog or TreskPostLogs folder yet), WMI answering 900
// seconds, the Scripting runtime registered and a web-post class that delivers.
struct FakePlatform {
    FakePlatform();

    Operations ops;
    FakeHost host{ops};
    FakeRegistry registry{ops};
    FileTree tree;
    FakeFileSystemFactory fileSystems{tree, ops};
    FakeClock clock{ops};
    FakeProfileReader profiles{tree, ops};
    FakeSystem system{ops};
    FakeWmi wmi{ops};
    FakeAutomation automation{ops};
    // Mavlin.WebPost lives in the child, as in the program; every other class in the run.
    FakeChild child{automation};
    ChildAutomation childAutomation{automation, child, L"Mavlin.WebPost"};
    FakeEventLog eventLog{ops};

    Platform view() {
        return Platform{host,   registry, fileSystems,     clock,   profiles,
                        system, wmi,      childAutomation, eventLog};
    }

    /// Where the default agent is installed, with its trailing backslash.
    static constexpr const wchar_t* kInstallPath = L"C:\\Program Files\\QUENDA Agent\\";
    static constexpr const wchar_t* kAgentKey = L"Software\\QUENDA";

    /// The path of the run log next to the executable.
    std::wstring exeLogPath() const { return host.exeFolder + L"\\TavrelLog.txt"; }
    /// The messages of the run log next to the executable, without timestamps.
    std::vector<std::wstring> exeLogMessages() const;
    /// Where a completed run archives its log.
    static std::wstring archivedLogPath() {
        return std::wstring(kInstallPath) + L"ApplicationLog\\TavrelLog.txt";
    }
    /// The messages of the archived run log.
    std::vector<std::wstring> archivedLogMessages() const;
    /// The messages of the run log wherever the run left it.
    std::vector<std::wstring> runLogMessages() const;
};

}  // namespace tavrel::fake
