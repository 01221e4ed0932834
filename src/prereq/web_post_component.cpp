#include "prereq/web_post_component.h"

#include <memory>
#include <string>

#include "log/run_log.h"
#include "platform/error.h"
#include "prereq/silent_registration.h"

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

}  // namespace

bool checkWebPostComponent(RunContext& run) {
    bool present = true;
    withTrap(
        [&] {
            const std::wstring libraryPath = run.state.gInstallPath + L"Mavlin.dll";
            std::unique_ptr<FileSystem> fso;  // our own, not gFso; gone when we return
            if (!libraryPresent(run, fso, libraryPath)) {
                writeLog(run, L"MSG : Mavlin.dll is missing.");
                present = false;
                return;
            }
            // The library's process starts while the registration's pause runs.
            run.os.automation.prepareCreation();
            registerLibrarySilently(run, libraryPath);
        },
        [](const Error&) {});
    return present;
}

}  // namespace tavrel
