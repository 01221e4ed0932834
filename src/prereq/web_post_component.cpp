#include "prereq/web_post_component.h"

#include <memory>
#include <string>

#include "context/web_post_names.h"
#include "log/run_log.h"
#include "platform/error.h"
#include "prereq/silent_registration.h"
#include "prereq/who_else_may_change.h"

namespace tavrel {

namespace {

// Without an installation folder the name would be relative to the working folder,
// and whatever library lay there would be registered and loaded with the agent's rights.
bool libraryPresent(RunContext& run, std::unique_ptr<FileSystem>& fso,
                    const std::wstring& libraryPath) {
    if (run.state.gInstallPath.empty()) {
        return false;
    }
    fso = run.os.fileSystems.createFileSystem();
    return fso->fileExists(libraryPath);
}

// Registering and loading run the library, and whatever it imports from its folder, with
// the rights this program runs with: neither may be something others can change.
bool libraryProtected(RunContext& run, const std::wstring& libraryPath) {
    FileSystem& fso = *run.state.gFso;
    std::wstring why = whoElseMayChange(fso, libraryPath, ObjectPlace::UsedItself);
    if (why.empty()) {
        why = whoElseMayChangeFolder(fso, run.state.gInstallPath);
        run.state.installFolderChecked = true;
    }
    if (!why.empty()) {
        logOthersMayChange(run, why, L"; nothing is registered, loaded or written there.");
    }
    return why.empty();
}

}  // namespace

WebPostLibrary checkWebPostComponent(RunContext& run) {
    const std::wstring libraryPath = run.state.gInstallPath + kWebPostLibraryName;
    std::unique_ptr<FileSystem> fso;  // our own, not gFso; gone when we return
    bool present = true;
    const bool answered = withTrap(
        [&] {
            present = libraryPresent(run, fso, libraryPath);
            return true;
        },
        [](const Error&) { return false; });
    if (!present) {
        writeLog(run, std::wstring(L"MSG : ") + kWebPostLibraryName + L" is missing.");
        return WebPostLibrary::Missing;
    }
    if (!libraryProtected(run, libraryPath)) {
        return WebPostLibrary::OpenToOthers;
    }
    if (answered) {
        // The library's process starts while the registration's pause runs.
        run.os.automation.prepareCreation();
        ignoreFailure([&] { registerLibrarySilently(run, libraryPath); });
    }
    return WebPostLibrary::Ready;
}

}  // namespace tavrel
