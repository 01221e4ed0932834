// An agent machine for end-to-end runs of the real Tavrel.exe under Wine: the agent
// key in the registry, a folder for the executable, and the run log it leaves.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "context/exit_status.h"
#include "support/exit_status_print.h"

namespace tavrel::e2e {

using tavrel::ExitStatus;

class AgentMachine {
  public:
    /// A fresh scenario: its own folders under C:\, the agent key removed. Throws, having
    /// changed nothing, when an agent key or web-post registration is not the tests' own.
    explicit AgentMachine(const std::wstring& scenario);
    ~AgentMachine();
    AgentMachine(const AgentMachine&) = delete;
    AgentMachine& operator=(const AgentMachine&) = delete;

    /// Creates the agent key in this program's registry view, empty but for the value
    /// that marks it as the tests' own.
    void createAgentKey();
    /// Writes raw REG_SZ-typed (or other) data, exactly the bytes given.
    void setValue(const std::string& name, DWORD type, const std::string& bytes);
    /// A REG_SZ value stored with its terminator, as the agent writes it.
    void setString(const std::string& name, const std::string& text);
    void removeAgentKey();
    /// Creates the agent key holding a normal agent: member, site, type, the
    /// installation folder (created, its path holds a blank) and the registration id.
    void seedNormalAgent();

    /// Puts the web-post double into the installation folder with the script for its
    /// calls (see tests/webpost_double/README.md); the program registers it itself.
    void installWebPostDouble(const std::string& script = "true");
    /// Removes the double's class from the registry, as on a machine without it.
    static void removeWebPostRegistration();
    /// The double's journal lines, or nothing when it was never called.
    std::optional<std::vector<std::string>> webPostJournal() const;
    /// The names of the files in the installation folder's TreskPostLogs folder.
    std::vector<std::wstring> spooledFiles() const;
    /// The messages of the log archived in the installation folder's ApplicationLog.
    std::optional<std::vector<std::wstring>> archivedLogMessages() const;
    /// The messages of the run log wherever the run left it.
    std::optional<std::vector<std::wstring>> runLogMessages() const;
    std::wstring archivedLogPath() const {
        return installFolder_ + L"\\ApplicationLog\\TavrelLog.txt";
    }

    /// Puts another build of the program in the executable's place.
    void replaceProgramWith(const std::wstring& source);
    /// Runs the copy of Tavrel.exe in exeFolder(), with the arguments given, and returns
    /// its exit status.
    ExitStatus runTavrel(const std::wstring& arguments = L"");

    /// The folder of the copied executable: it holds a blank, as "Program Files" does.
    const std::wstring& exeFolder() const { return exeFolder_; }
    /// The working folder the program is started in.
    const std::wstring& workingFolder() const { return root_; }
    std::wstring exeLogPath() const { return exeFolder_ + L"\\TavrelLog.txt"; }
    /// The agent's installation folder, without a trailing backslash (made by seedNormalAgent).
    const std::wstring& installFolder() const { return installFolder_; }

    /// Grants Everyone write on the file or folder, as an installer's mistake would. Wine
    /// turns it into write for others in the Unix mode, and shows it back as such.
    static void letEveryoneWrite(const std::wstring& path);

    /// Test set-up and inspection of files, in bytes as they lie on disk.
    static void writeFile(const std::wstring& path, const std::string& bytes);
    static std::optional<std::string> readFile(const std::wstring& path);

    /// The messages of the run log next to the executable (timestamps removed), or
    /// nothing when there is no log.
    std::optional<std::vector<std::wstring>> exeLogMessages() const;
    static std::optional<std::vector<std::wstring>> logMessagesAt(const std::wstring& path);

  private:
    std::wstring root_;
    std::wstring exeFolder_;
    std::wstring installFolder_;
};

}  // namespace tavrel::e2e
