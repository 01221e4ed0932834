#include "prereq/scripting_runtime.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/error.h"
#include "platform/text.h"
#include "prereq/silent_registration.h"

namespace tavrel {

namespace {

constexpr std::uint32_t kWindowsFolderBufferSize = 200;
constexpr const wchar_t* kScriptingProgId = L"Scripting.FileSystemObject";

// The errors that mean the runtime is not registered or its module cannot be found;
// anything else is not ours to repair.
bool meansNotRegistered(std::int32_t number) {
    return number == errnum::kCannotCreateObject  // class or ProgID not registered
           || number == -2147024770               // 0x8007007E, module not found
           || number == -2147319779;              // 0x8002801D, type library not registered
}

// Empty text when the query fails, including a length beyond the buffer, which is the
// system asking for a larger one.
std::wstring readWindowsFolder(RunContext& run) {
    return withTrap(
        [&] {
            const WindowsDirectory folder =
                run.os.system.windowsDirectory(kWindowsFolderBufferSize);
            if (folder.length > folder.buffer.size()) {
                return std::wstring();
            }
            return folder.buffer.substr(0, folder.length);
        },
        [](const Error&) { return std::wstring(); });
}

// Whether a backslash is still needed is judged on the text before trimming.
std::wstring systemFolderOf(const std::wstring& windowsFolder) {
    const bool endsInBackslash = !windowsFolder.empty() && windowsFolder.back() == L'\\';
    return trimSpaces(windowsFolder) + (endsInBackslash ? L"System32\\" : L"\\System32\\");
}

}  // namespace

void checkScriptingRuntime(RunContext& run) {
    // Stays empty while the Windows folder is unknown: "\System32\scrrun.dll" would be
    // whatever lies at the root of the current drive, loaded with the agent's rights.
    std::wstring libraryPath;
    ignoreFailure([&] {
        const std::wstring windowsFolder = readWindowsFolder(run);
        if (!trimSpaces(windowsFolder).empty()) {
            libraryPath = systemFolderOf(windowsFolder) + L"scrrun.dll";
        }
    });

    std::unique_ptr<AutomationObject> trial;
    std::optional<std::int32_t> trialError;
    withTrap([&] { trial = run.os.automation.createObject(kScriptingProgId); },
             [&](const Error& error) { trialError = error.number(); });

    if (trialError && meansNotRegistered(*trialError)) {
        // A tool that cannot be started, or a library we cannot place, still leaves
        // the pause and the second trial.
        if (!libraryPath.empty()) {
            ignoreFailure([&] { startSilentRegistration(run, libraryPath); });
        }
        ignoreFailure([&] { pauseForRegistration(run); });
        // Its outcome is not examined: the platform's file system, through which the
        // run's file work goes, does not use this object.
        ignoreFailure([&] { trial = run.os.automation.createObject(kScriptingProgId); });
    }
    trial.reset();
}

}  // namespace tavrel
