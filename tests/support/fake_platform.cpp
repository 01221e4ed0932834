#include "support/fake_platform.h"

#include <algorithm>
#include <cstddef>
#include <cwctype>
#include <new>
#include <stdexcept>
#include <utility>

#include "run/run_sequence.h"
#include "support/log_lines.h"

namespace tavrel::fake {

namespace {

constexpr long kErrorFileNotFound = 2;
constexpr long kErrorAccessDenied = 5;
constexpr long kErrorInvalidHandle = 6;
constexpr std::uint32_t kLargestBuffer = 64u << 20;

Error fileNotFound() {
    return Error(errnum::kFileNotFound, L"File not found");
}
Error fileAlreadyExists() {
    return Error(errnum::kFileAlreadyExists, L"File already exists");
}
Error permissionDenied() {
    return Error(errnum::kPermissionDenied, L"Permission denied");
}
Error pathNotFound() {
    return Error(errnum::kPathNotFound, L"Path not found");
}

std::wstring parentKey(const std::wstring& key) {
    const auto slash = key.find_last_of(L'\\');
    return slash == std::wstring::npos ? std::wstring() : key.substr(0, slash);
}

}  // namespace

Ending runMain(RunContext& run) {
    try {
        Main(run);
    } catch (const ProcessEnded&) {
        return Ending::AtOnce;
    }
    // The entry point ends a run that returns, and the end's report comes with it.
    if (auto* host = dynamic_cast<FakeHost*>(&run.os.host)) {
        host->reportEnd(static_cast<std::uint32_t>(run.state.exitStatus));
    }
    return Ending::Returned;
}

ExitStatus exitStatusOf(const RunContext& run, const FakeHost& host) {
    return host.endedWith.value_or(run.state.exitStatus);
}

// --- Operations -------------------------------------------------------------

void Operations::failCall(const std::string& operation, int nth, Error error, bool persistent) {
    faults_.insert_or_assign(operation, Fault{nth, persistent, std::move(error)});
}

std::optional<Error> Operations::enter(std::string_view operation, std::wstring detail) {
    calls_.push_back(Call{std::string(operation), std::move(detail)});
    const int number = ++counts_[std::string(operation)];
    if (afterRecording) {
        afterRecording(operation, number);
    }
    const auto fault = faults_.find(operation);
    if (fault == faults_.end()) {
        return std::nullopt;
    }
    const Fault& f = fault->second;
    if (number == f.nth || (f.persistent && number > f.nth)) {
        return f.error;
    }
    return std::nullopt;
}

void Operations::enterOrThrow(std::string_view operation, std::wstring detail) {
    if (auto error = enter(operation, std::move(detail))) {
        throw *error;
    }
}

int Operations::count(std::string_view operation) const {
    const auto found = counts_.find(operation);
    return found == counts_.end() ? 0 : found->second;
}

// --- Host -------------------------------------------------------------------

bool FakeHost::previousInstanceRunning() {
    ops_.enterOrThrow("PreviousInstanceRunning");
    return anotherCopyRunning;
}

std::wstring FakeHost::executableFolder() {
    ops_.enterOrThrow("ExecutableFolder");
    return exeFolder;
}

void FakeHost::guardRun(RunGuard guard) {
    watchdogSeconds = guard.timeLimitSeconds;
    guard_ = std::move(guard);
}

void FakeHost::interruptAt(const std::string& operation, int nth,
                           std::optional<std::uint32_t> faultCode) {
    interruption_ = Interruption{operation, nth, faultCode};
    ops_.afterRecording = [this](std::string_view called, int number) {
        if (!interruption_ || called != interruption_->operation || number != interruption_->nth) {
            return;
        }
        const std::optional<std::uint32_t> fault = interruption_->faultCode;
        interruption_.reset();  // the last words make calls of their own
        if (fault) {
            guard_.faultLine(*fault);
            endedWith = static_cast<ExitStatus>(guard_.faultStatus);
        } else {
            guard_.timeLimitLine();
            endedWith = static_cast<ExitStatus>(guard_.timeLimitStatus);
        }
        reportEnd(static_cast<std::uint32_t>(*endedWith));
        throw ProcessEnded{};
    };
}

namespace {

class FakeLock : public Lock {
  public:
    explicit FakeLock(FakeHost::LockState& state) : state_(state) {}

    void acquire() override {
        if (state_.held) {
            throw std::logic_error("lock taken twice");
        }
        state_.held = true;
    }

    bool tryAcquire(std::uint32_t milliseconds) override {
        state_.waits.push_back(milliseconds);
        // Held by the run, a real lock would keep the other thread out past its wait.
        if (state_.held) {
            return false;
        }
        state_.held = true;
        return true;
    }

    void release() override { state_.held = false; }

  private:
    FakeHost::LockState& state_;
};

}  // namespace

void FakeHost::reportEnd(std::uint32_t status) {
    if (!guard_.endReport) {
        return;
    }
    try {
        guard_.endReport(status);
    } catch (const BoundRanOut&) {
        reportCutOff = true;
    }
}

std::unique_ptr<Lock> FakeHost::createLock() {
    return std::make_unique<FakeLock>(locks.emplace_back());
}

void FakeHost::endProcess(std::uint32_t status) {
    ops_.enter("EndProcess");
    endedWith = static_cast<ExitStatus>(status);
    reportEnd(status);
    throw ProcessEnded{};
}

// --- Registry ---------------------------------------------------------------

void FakeRegistry::addKey(const std::wstring& subKey) {
    keys_[FileTree::keyOf(subKey)];
}

void FakeRegistry::removeKey(const std::wstring& subKey) {
    keys_.erase(FileTree::keyOf(subKey));
}

void FakeRegistry::setValue(const std::wstring& subKey, const std::wstring& name,
                            std::uint32_t type, std::string bytes) {
    keys_.at(FileTree::keyOf(subKey))[FileTree::keyOf(name)] = Value{type, std::move(bytes)};
}

void FakeRegistry::setString(const std::wstring& subKey, const std::wstring& name,
                             const std::wstring& text) {
    std::string bytes;
    for (wchar_t c : text) {
        bytes += static_cast<char>(c);
    }
    bytes += '\0';
    setValue(subKey, name, kRegSz, std::move(bytes));
}

void FakeRegistry::removeValue(const std::wstring& subKey, const std::wstring& name) {
    keys_.at(FileTree::keyOf(subKey)).erase(FileTree::keyOf(name));
}

RegistryOpenResult FakeRegistry::openKey(RegistryRoot root, const std::wstring& subKey,
                                         std::uint32_t options, std::uint32_t accessMask) {
    RegistryOpenResult result;
    const std::wstring rootName = root == RegistryRoot::ClassesRoot ? kClassesRoot : L"";
    if (auto error =
            ops_.enter("RegOpenKeyEx", rootName + subKey + L" options=" + std::to_wstring(options) +
                                           L" access=" + std::to_wstring(accessMask))) {
        result.resultCode = error->number();
        return result;
    }
    const std::wstring key = FileTree::keyOf(rootName + subKey);
    if (keys_.count(key) == 0) {
        result.resultCode = kErrorFileNotFound;
        return result;
    }
    const bool wantsMoreThanRead = (accessMask & ~0x20019u) != 0;  // beyond KEY_READ
    if (wantsMoreThanRead && deniedKeys.count(key) != 0) {
        result.resultCode = kErrorAccessDenied;
        return result;
    }
    if (openGivesNullHandle) {
        return result;
    }
    const std::uintptr_t handle = nextHandle_++;
    openHandles_[handle] = key;
    result.key = RegistryKey(this, handle);
    return result;
}

long FakeRegistry::closeKey(std::uintptr_t handle) {
    if (auto error = ops_.enter("RegCloseKey")) {
        return error->number();
    }
    return openHandles_.erase(handle) == 1 ? 0 : kErrorInvalidHandle;
}

const FakeRegistry::Value* FakeRegistry::findValue(std::uintptr_t key, const std::wstring& name,
                                                   long& resultCode) const {
    const auto open = openHandles_.find(key);
    if (open == openHandles_.end()) {
        resultCode = kErrorInvalidHandle;
        return nullptr;
    }
    const auto& values = keys_.at(open->second);
    const auto found = values.find(FileTree::keyOf(name));
    if (found == values.end()) {
        resultCode = kErrorFileNotFound;
        return nullptr;
    }
    resultCode = 0;
    return &found->second;
}

RegistryValueSize FakeRegistry::queryValueSize(std::uintptr_t key, const std::wstring& valueName) {
    RegistryValueSize result;
    if (auto error = ops_.enter("RegQueryValueSize", valueName)) {
        result.resultCode = error->number();
        return result;
    }
    if (const Value* value = findValue(key, valueName, result.resultCode)) {
        result.type = value->type;
        result.byteCount = static_cast<std::uint32_t>(value->bytes.size());
    }
    return result;
}

RegistryValueData FakeRegistry::queryValueData(std::uintptr_t key, const std::wstring& valueName,
                                               std::uint32_t byteCount) {
    RegistryValueData result;
    if (auto error = ops_.enter("RegQueryValueData", valueName)) {
        result.resultCode = error->number();
        return result;
    }
    // As the real buffer would be: too large to allocate.
    if (byteCount > kLargestBuffer) {
        throw std::bad_alloc();
    }
    const auto rewrite = rewrittenBeforeDataQuery.find(FileTree::keyOf(valueName));
    if (rewrite != rewrittenBeforeDataQuery.end()) {
        const auto open = openHandles_.find(key);
        if (open != openHandles_.end()) {
            keys_.at(open->second)[rewrite->first].bytes = rewrite->second;
        }
    }
    const Value* value = findValue(key, valueName, result.resultCode);
    if (value == nullptr) {
        return result;
    }
    if (value->bytes.size() > byteCount) {
        result.resultCode = kErrorMoreData;
        return result;
    }
    result.text.assign(byteCount, L'\0');
    for (std::size_t i = 0; i < value->bytes.size(); ++i) {
        result.text[i] = static_cast<wchar_t>(static_cast<unsigned char>(value->bytes[i]));
    }
    return result;
}

// --- Profile files --------------------------------------------------------------

namespace {

std::wstring trimWhite(std::wstring_view text) {
    const auto first = text.find_first_not_of(L" \t");
    if (first == std::wstring_view::npos) {
        return {};
    }
    return std::wstring(text.substr(first, text.find_last_not_of(L" \t") - first + 1));
}

// The value of section/key in INI text, as GetPrivateProfileString finds it.
std::optional<std::wstring> profileValue(const std::wstring& text, const std::wstring& section,
                                         const std::wstring& key) {
    bool inSection = false;
    std::size_t start = 0;
    while (start <= text.size()) {
        auto end = text.find(L'\n', start);
        if (end == std::wstring::npos) {
            end = text.size();
        }
        std::wstring line = trimWhite(std::wstring_view(text).substr(start, end - start));
        if (!line.empty() && line.back() == L'\r') {
            line = trimWhite(std::wstring_view(line).substr(0, line.size() - 1));
        }
        start = end + 1;
        if (!line.empty() && line.front() == L'[') {
            const auto close = line.find(L']');
            const std::wstring name = trimWhite(std::wstring_view(line).substr(1, close - 1));
            inSection = FileTree::keyOf(name) == FileTree::keyOf(section);
            continue;
        }
        const auto equals = line.find(L'=');
        if (!inSection || equals == std::wstring::npos ||
            FileTree::keyOf(trimWhite(std::wstring_view(line).substr(0, equals))) !=
                FileTree::keyOf(key)) {
            continue;
        }
        std::wstring value = trimWhite(std::wstring_view(line).substr(equals + 1));
        if (value.size() >= 2 && value.front() == L'"' && value.back() == L'"') {
            value = value.substr(1, value.size() - 2);
        }
        return value;
    }
    return std::nullopt;
}

}  // namespace

ProfileString FakeProfileReader::readString(const std::wstring& section, const std::wstring& key,
                                            const std::wstring& defaultText,
                                            std::uint32_t bufferSize,
                                            const std::wstring& fileName) {
    ops_.enterOrThrow("GetPrivateProfileString", L"[" + section + L"] " + key + L" " + fileName);
    const auto text = tree_.content(fileName);
    std::wstring value = defaultText;
    if (text) {
        value = profileValue(*text, section, key).value_or(defaultText);
    }
    ProfileString result;
    const std::size_t room = bufferSize == 0 ? 0 : bufferSize - 1;
    result.buffer.assign(bufferSize, L'\0');
    const std::size_t copied = std::min(room, value.size());
    std::copy_n(value.begin(), copied, result.buffer.begin());
    result.count = static_cast<std::uint32_t>(copied);
    return result;
}

// --- File tree ----------------------------------------------------------------

FileTree::FileTree() {
    addFolder(L"C:\\");
}

std::wstring FileTree::keyOf(const std::wstring& path) {
    std::wstring key;
    for (wchar_t c : path) {
        if (c == L'\\' && !key.empty() && key.back() == L'\\') {
            continue;
        }
        key += static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
    }
    while (!key.empty() && key.back() == L'\\') {
        key.pop_back();
    }
    return key;
}

void FileTree::addFolder(const std::wstring& path) {
    const std::wstring key = keyOf(path);
    if (key.empty() || folders.count(key) != 0) {
        return;
    }
    addFolder(parentKey(key));
    std::wstring name = path;
    while (name.size() > 1 && name.back() == L'\\') {
        name.pop_back();
    }
    folders[key] = name;
}

void FileTree::addFile(const std::wstring& path, const std::wstring& text, bool readOnly) {
    auto file = std::make_shared<File>();
    file->path = path;
    file->content = text;
    file->readOnly = readOnly;
    file->index = ++filesMade;
    files[keyOf(path)] = file;
}

std::wstring FileTree::resolve(const std::wstring& path, bool followLast) const {
    std::wstring resolved = path;
    for (int hops = 0;;) {
        std::size_t cut = 0;
        const std::wstring* target = nullptr;
        for (std::size_t i = 1; i <= resolved.size() && target == nullptr; ++i) {
            if (i < resolved.size() ? resolved[i] == L'\\' : followLast) {
                const auto found = links.find(keyOf(resolved.substr(0, i)));
                target = found != links.end() ? &found->second : nullptr;
                cut = i;
            }
        }
        if (target == nullptr) {
            return resolved;
        }
        if (++hops > 63) {
            throw Error(1921, L"The name of the file cannot be resolved by the system.");
        }
        resolved = *target + resolved.substr(cut);
    }
}

bool FileTree::hasFile(const std::wstring& path) const {
    return files.count(keyOf(path)) != 0;
}

bool FileTree::hasFolder(const std::wstring& path) const {
    const std::wstring key = keyOf(path);
    return key.empty() || folders.count(key) != 0;
}

std::optional<std::wstring> FileTree::folderName(const std::wstring& path) const {
    const auto found = folders.find(keyOf(path));
    if (found == folders.end()) {
        return std::nullopt;
    }
    return found->second;
}

std::optional<std::wstring> FileTree::content(const std::wstring& path) const {
    const auto found = files.find(keyOf(path));
    if (found == files.end()) {
        return std::nullopt;
    }
    return found->second->content;
}

std::vector<std::wstring> FileTree::filePaths() const {
    std::vector<std::wstring> paths;
    for (const auto& [key, file] : files) {
        paths.push_back(file->path);
    }
    return paths;
}

void FileTree::openToOthers(const std::wstring& path, std::uint32_t mask) {
    ObjectSecurity opened = protectedSecurity;
    opened.entries.push_back({true, false, mask, kUsers});
    security[keyOf(path)] = opened;
}

// --- File system ----------------------------------------------------------------

namespace {

class FakeTextStream : public TextStream {
  public:
    FakeTextStream(std::shared_ptr<FileTree::File> file, FileTree& tree, Operations& ops)
        : file_(std::move(file)), tree_(tree), ops_(ops) {
        ++file_->openStreams;
        ++tree_.liveStreams;
    }
    ~FakeTextStream() override {
        release();
        --tree_.liveStreams;
    }

    void writeLine(std::wstring_view text) override {
        if (tree_.checkStreamUse) {
            tree_.checkStreamUse(file_->path);
        }
        ops_.enterOrThrow("WriteLine", std::wstring(text));
        if (!open_) {
            throw Error(errnum::kBadFileName, L"Bad file name or number");
        }
        file_->content += text;
        file_->content += L"\r\n";
    }

    void close() override {
        if (tree_.checkStreamUse) {
            tree_.checkStreamUse(file_->path);
        }
        ops_.enterOrThrow("Close", file_->path);
        if (!open_) {
            throw Error(errnum::kBadFileName, L"Bad file name or number");
        }
        release();
    }

  private:
    void release() {
        if (open_) {
            open_ = false;
            --file_->openStreams;
        }
    }

    std::shared_ptr<FileTree::File> file_;
    FileTree& tree_;
    Operations& ops_;
    bool open_ = true;
};

}  // namespace

FakeFileSystem::FakeFileSystem(FileTree& tree, Operations& ops) : tree_(tree), ops_(ops) {
    ++tree_.liveFileSystems;
}

FakeFileSystem::~FakeFileSystem() {
    --tree_.liveFileSystems;
}

bool FakeFileSystem::parentExists(const std::wstring& key) const {
    const std::wstring parent = parentKey(key);
    return parent.empty() || tree_.folders.count(parent) != 0;
}

bool FakeFileSystem::fileExists(const std::wstring& path) {
    ops_.enterOrThrow("FileExists", path);
    return tree_.hasFile(tree_.resolve(path));
}

bool FakeFileSystem::folderExists(const std::wstring& path) {
    ops_.enterOrThrow("FolderExists", path);
    return tree_.folders.count(FileTree::keyOf(tree_.resolve(path))) != 0;
}

void FakeFileSystem::createFolder(const std::wstring& path) {
    ops_.enterOrThrow("CreateFolder", path);
    const std::wstring key = FileTree::keyOf(path);
    if (tree_.folders.count(key) != 0 || tree_.files.count(key) != 0) {
        throw fileAlreadyExists();
    }
    if (!parentExists(key)) {
        throw pathNotFound();
    }
    tree_.addFolder(path);
}

std::unique_ptr<TextStream> FakeFileSystem::createTextFile(const std::wstring& path) {
    if (tree_.checkStreamUse) {
        tree_.checkStreamUse(path);
    }
    ops_.enterOrThrow("CreateTextFile", path);
    const std::wstring key = FileTree::keyOf(path);
    if (!parentExists(key)) {
        throw pathNotFound();
    }
    if (tree_.folders.count(key) != 0) {
        throw permissionDenied();
    }
    const auto existing = tree_.files.find(key);
    if (existing != tree_.files.end() &&
        (existing->second->readOnly || existing->second->openStreams > 0)) {
        throw permissionDenied();
    }
    tree_.addFile(path, L"");
    return std::make_unique<FakeTextStream>(tree_.files[key], tree_, ops_);
}

void FakeFileSystem::deleteFile(const std::wstring& path) {
    ops_.enterOrThrow("DeleteFile", path);
    const auto found = tree_.files.find(FileTree::keyOf(path));
    if (found == tree_.files.end()) {
        throw fileNotFound();
    }
    if (found->second->readOnly || found->second->openStreams > 0) {
        throw permissionDenied();
    }
    tree_.files.erase(found);
}

void FakeFileSystem::moveFile(const std::wstring& source, const std::wstring& destination) {
    ops_.enterOrThrow("MoveFile", source + L" -> " + destination);
    const auto found = tree_.files.find(FileTree::keyOf(source));
    if (found == tree_.files.end()) {
        throw fileNotFound();
    }
    const std::wstring target = FileTree::keyOf(destination);
    if (tree_.files.count(target) != 0 || tree_.folders.count(target) != 0) {
        throw fileAlreadyExists();
    }
    if (!parentExists(target)) {
        throw pathNotFound();
    }
    if (found->second->openStreams > 0) {
        throw permissionDenied();
    }
    auto file = found->second;
    tree_.files.erase(found);
    file->path = destination;
    tree_.files[target] = file;
}

ObjectSecurity FakeFileSystem::readSecurity(const std::wstring& path) {
    ops_.enterOrThrow("ReadSecurity", path);
    const std::wstring key = FileTree::keyOf(tree_.resolve(path, false));
    const bool isLink = tree_.links.count(key) != 0;
    if (!isLink && tree_.files.count(key) == 0 && !tree_.hasFolder(key)) {
        throw fileNotFound();
    }
    const auto found = tree_.security.find(key);
    ObjectSecurity security =
        found != tree_.security.end() ? found->second : tree_.protectedSecurity;
    security.isLink = security.isLink || isLink;
    return security;
}

std::wstring FakeFileSystem::finalPath(const std::wstring& path) {
    ops_.enterOrThrow("FinalPath", path);
    std::wstring reached = tree_.resolve(path);
    if (!tree_.hasFile(reached) && !tree_.hasFolder(reached)) {
        throw fileNotFound();
    }
    return reached;
}

FileIdentity FakeFileSystem::fileIdentity(const std::wstring& path) {
    ops_.enterOrThrow("FileIdentity", path);
    std::wstring reached = tree_.resolve(path);
    const auto longName = tree_.longNames.find(FileTree::keyOf(reached));
    reached = longName != tree_.longNames.end() ? tree_.resolve(longName->second) : reached;
    const auto found = tree_.files.find(FileTree::keyOf(reached));
    if (found == tree_.files.end()) {
        throw fileNotFound();
    }
    return FileIdentity{static_cast<std::uint32_t>(reached[0]), found->second->index};
}

std::wstring FakeFileSystem::runningAccountSid() {
    ops_.enterOrThrow("RunningAccount");
    return FileTree::kRunningAccount;
}

std::wstring FakeFileSystem::accountName(const std::wstring& sid) {
    if (ops_.enter("AccountName", sid)) {
        return sid;
    }
    const auto found = tree_.accountNames.find(sid);
    return found != tree_.accountNames.end() ? found->second : sid;
}

std::unique_ptr<FileSystem> FakeFileSystemFactory::createFileSystem() {
    ops_.enterOrThrow("CreateFileSystem");
    return std::make_unique<FakeFileSystem>(tree_, ops_);
}

// --- Clock ----------------------------------------------------------------------

LocalTime FakeClock::now() {
    ops_.enterOrThrow("Now");
    return time;
}

std::wstring FakeClock::timeSeparator() {
    ops_.enterOrThrow("TimeSeparator");
    return separator;
}

// --- System ---------------------------------------------------------------------

WindowsDirectory FakeSystem::windowsDirectory(std::uint32_t bufferSize) {
    WindowsDirectory result;
    result.buffer.assign(bufferSize, L'\0');
    if (ops_.enter("GetWindowsDirectory")) {
        return result;
    }
    // As the system answers a buffer too small: the size it would need, nothing copied.
    if (windowsFolder.size() >= bufferSize) {
        result.length = static_cast<std::uint32_t>(windowsFolder.size() + 1);
        return result;
    }
    std::copy(windowsFolder.begin(), windowsFolder.end(), result.buffer.begin());
    result.length = static_cast<std::uint32_t>(windowsFolder.size());
    return result;
}

std::uint64_t FakeSystem::tickCount() {
    ops_.enterOrThrow("TickCount");
    return ticks;
}

std::wstring FakeSystem::expandEnvironmentStrings(const std::wstring& text) {
    ops_.enterOrThrow("ExpandEnvironment", text);
    std::wstring expanded = text;
    for (const auto& [name, value] : environment) {
        const std::wstring named = L"%" + name + L"%";
        for (auto at = expanded.find(named); at != std::wstring::npos; at = expanded.find(named)) {
            expanded.replace(at, named.size(), value);
        }
    }
    return expanded;
}

std::wstring FakeSystem::toUpperInvariant(const std::wstring& text) {
    ops_.enterOrThrow("UpperCase");
    std::wstring upper = text;
    for (auto& c : upper) {
        const bool latin1Lower = c >= 0xE0 && c <= 0xFE && c != 0xF7;  // but the division sign
        if ((c >= L'a' && c <= L'z') || latin1Lower) {
            c = static_cast<wchar_t>(c - 0x20);
        } else if (c == 0xFF) {
            c = 0x178;  // the capital of U+00FF lies outside Latin-1
        }
    }
    return upper;
}

void FakeSystem::startSystemProgramHidden(const std::wstring& programName,
                                          const std::wstring& commandLine) {
    ops_.enterOrThrow("StartProgram", programName + L": " + commandLine);
    started.push_back(Start{programName, commandLine});
}

void FakeSystem::sleep(std::uint32_t milliseconds) {
    ops_.enterOrThrow("Sleep", std::to_wstring(milliseconds));
    pauses.push_back(milliseconds);
}

// --- Event log -----------------------------------------------------------------

void FakeEventLog::reportEvent(const LogEvent& event) {
    ops_.enterOrThrow("ReportEvent", std::to_wstring(event.id));
    if (blocks) {
        throw BoundRanOut{};
    }
    events.push_back(event);
}

// --- Platform -------------------------------------------------------------------

FakePlatform::FakePlatform() {
    registry.addKey(kAgentKey);
    registry.setString(kAgentKey, L"MEMBERID", L"M1001");
    registry.setString(kAgentKey, L"SITEID", L"S2002");
    registry.setString(kAgentKey, L"TYPE", L"VAMR");
    registry.setString(kAgentKey, L"InstallationPath", L"C:\\Program Files\\QUENDA Agent");
    registry.setString(kAgentKey, L"REGID", L"417");
    tree.addFolder(kInstallPath);
    tree.addFile(std::wstring(kInstallPath) + L"Mavlin.dll", L"");
    tree.addFolder(host.exeFolder);
    wmi.instances = {{{L"SystemUpTime", L"900"}}};
    automation.addClass(L"Scripting.FileSystemObject");
    automation.addClass(L"Mavlin.WebPost").resultWhenUnscripted = true;
    const std::wstring classKey = std::wstring(FakeRegistry::kClassesRoot) + L"CLSID\\{C1A55}";
    registry.addKey(std::wstring(FakeRegistry::kClassesRoot) + L"Mavlin.WebPost\\CLSID");
    registry.setString(std::wstring(FakeRegistry::kClassesRoot) + L"Mavlin.WebPost\\CLSID", L"",
                       L"{C1A55}");
    registry.addKey(classKey + L"\\InprocServer32");
    registry.setString(classKey + L"\\InprocServer32", L"",
                       std::wstring(kInstallPath) + L"Mavlin.dll");
    tree.checkStreamUse = [this](const std::wstring& path) {
        if (!host.logLockHeld() && FileTree::keyOf(path) == FileTree::keyOf(exeLogPath())) {
            throw std::logic_error("the run log used without its lock");
        }
    };
}

std::vector<std::wstring> FakePlatform::archivedLogMessages() const {
    const auto text = tree.content(archivedLogPath());
    return text ? messagesOf(*text) : std::vector<std::wstring>{};
}

std::vector<std::wstring> FakePlatform::runLogMessages() const {
    return tree.hasFile(exeLogPath()) ? exeLogMessages() : archivedLogMessages();
}

std::vector<std::wstring> FakePlatform::exeLogMessages() const {
    const auto text = tree.content(exeLogPath());
    return text ? messagesOf(*text) : std::vector<std::wstring>{};
}

}  // namespace tavrel::fake
