#include "platform/win32/child_process.h"

#include <windows.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/text.h"
#include "platform/win32/pipe_line.h"
#include "platform/win32/unique_resource.h"
#include "platform/win32/win32_error.h"
#include "platform/win32/win32_system.h"

namespace tavrel::win32 {

namespace {

// The exit code the run gives a child it has to end itself.
constexpr UINT kEndedByTheRun = 1;

class Win32RunningChild : public RunningChild {
  public:
    Win32RunningChild(UniqueHandle reading, UniqueHandle writing, UniqueHandle process,
                      UniqueHandle job, Win32Host& host)
        : line_(std::move(reading), std::move(writing)),
          process_(std::move(process)),
          job_(std::move(job)),
          host_(host) {}
    ~Win32RunningChild() override { stop(); }
    Win32RunningChild(const Win32RunningChild&) = delete;
    Win32RunningChild& operator=(const Win32RunningChild&) = delete;

    MessageLine& line() override { return line_; }

    std::optional<std::uint32_t> stop() override {
        line_.hangUp();
        if (!ended_) {
            // Never on an error report's end: on the process, and not for long.
            DWORD code = 0;
            if (WaitForSingleObject(process_.get(), kChildEndMilliseconds) == WAIT_OBJECT_0 &&
                GetExitCodeProcess(process_.get(), &code)) {
                ended_.emplace(code);
            } else {
                TerminateProcess(process_.get(), kEndedByTheRun);
                ended_.emplace(std::nullopt);
            }
            host_.endAlongWith(nullptr);
        }
        return *ended_;
    }

  private:
    PipeLine line_;
    UniqueHandle process_;
    UniqueHandle job_;
    Win32Host& host_;
    std::optional<std::optional<std::uint32_t>> ended_;
};

// A pipe whose one end the child inherits; the run's end stays its own.
void createPipe(UniqueHandle& runs, UniqueHandle& childs, bool childReads) {
    SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
    HANDLE reading = nullptr;
    HANDLE writing = nullptr;
    if (!CreatePipe(&reading, &writing, &inherited, 0)) {
        throwLastError();
    }
    runs = UniqueHandle(childReads ? writing : reading);
    childs = UniqueHandle(childReads ? reading : writing);
    if (!SetHandleInformation(runs.get(), HANDLE_FLAG_INHERIT, 0)) {
        throwLastError();
    }
}

// Ends whatever is in it when its last handle closes: the run's, at the run's end.
UniqueHandle createJob() {
    UniqueHandle job(CreateJobObjectW(nullptr, nullptr));
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags =
        JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE | JOB_OBJECT_LIMIT_DIE_ON_UNHANDLED_EXCEPTION;
    if (job && !SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &limits,
                                        sizeof limits)) {
        job.reset();
    }
    return job;
}

std::wstring handleValue(const UniqueHandle& handle) {
    // Handle values fit in 32 bits, on 64-bit Windows too.
    return decimalText(static_cast<unsigned long>(reinterpret_cast<std::uintptr_t>(handle.get())));
}

}  // namespace

std::unique_ptr<RunningChild> Win32ChildStarter::startChild() {
    UniqueHandle requests;
    UniqueHandle childReads;
    UniqueHandle replies;
    UniqueHandle childWrites;
    createPipe(requests, childReads, true);
    createPipe(replies, childWrites, false);
    // A library may print; nobody reads it.
    SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
    UniqueHandle nul = ownFileHandle(CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE,
                                                 FILE_SHARE_READ | FILE_SHARE_WRITE, &inherited,
                                                 OPEN_EXISTING, 0, nullptr));
    if (!nul) {
        throwLastError();
    }
    const std::wstring executable = executablePath();
    // Started in the system folder: nothing the library loads comes from the run's.
    const std::wstring folder = systemFolder();
    std::wstring commandLine = L"\"" + executable + L"\" " + kChildSwitch +
                               handleValue(childReads) + L" " + handleValue(childWrites);
    // The line's ends and NUL, and none of the run's other handles it might inherit.
    HANDLE inheritedHandles[] = {childReads.get(), childWrites.get(), nul.get()};
    SIZE_T listSize = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &listSize);
    std::vector<char> listBytes(listSize);
    const auto list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(listBytes.data());
    if (!InitializeProcThreadAttributeList(list, 1, 0, &listSize)) {
        throwLastError();
    }
    const bool listed =
        UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, inheritedHandles,
                                  sizeof inheritedHandles, nullptr, nullptr);
    STARTUPINFOEXW startup{};
    startup.StartupInfo.cb = sizeof startup;
    startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    startup.StartupInfo.hStdInput = nul.get();
    startup.StartupInfo.hStdOutput = nul.get();
    startup.StartupInfo.hStdError = nul.get();
    startup.lpAttributeList = list;
    PROCESS_INFORMATION started{};
    // Suspended until it is in its job, so that nothing it starts escapes the job.
    const BOOL created =
        listed && CreateProcessW(executable.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                                 CREATE_SUSPENDED | CREATE_NO_WINDOW | EXTENDED_STARTUPINFO_PRESENT,
                                 nullptr, folder.c_str(), &startup.StartupInfo, &started);
    const DWORD failure = GetLastError();
    DeleteProcThreadAttributeList(list);
    if (!created) {
        throw errorFromWin32(failure);
    }
    const UniqueHandle thread(started.hThread);
    UniqueHandle job = createJob();
    const bool inJob = job && AssignProcessToJobObject(job.get(), started.hProcess);
    if (!inJob) {
        job.reset();
        host_.endAlongWith(started.hProcess);
    }
    // From here the child is stopped on every way out.
    auto child =
        std::make_unique<Win32RunningChild>(std::move(replies), std::move(requests),
                                            UniqueHandle(started.hProcess), std::move(job), host_);
    if (ResumeThread(thread.get()) == static_cast<DWORD>(-1)) {
        throwLastError();
    }
    return child;
}

}  // namespace tavrel::win32
