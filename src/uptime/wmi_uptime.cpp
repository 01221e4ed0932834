#include "uptime/wmi_uptime.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "log/run_log.h"
#include "platform/error.h"

namespace tavrel {

namespace {

constexpr std::wstring_view kComputer = L".";
constexpr std::wstring_view kQuery = L"Select * From Win32_PerfFormattedData_PerfOS_System";
constexpr std::int32_t kImpersonate = 3;
constexpr std::int32_t kWbemNotFound = static_cast<std::int32_t>(0x80041002u);

std::wstring onOneLine(std::wstring text) {
    for (auto& c : text) {
        if (c == L'\r' || c == L'\n') {
            c = L' ';
        }
    }
    return text;
}

void queryUpTime(RunContext& run) {
    std::unique_ptr<WmiSession> session = run.os.wmi.openSession();
    session->bindMoniker(L"winmgmts:\\\\" + std::wstring(kComputer) + L"\\root\\cimv2");
    writeLog(run, L"MSG : WMI object created.");
    session->createLocator(L"WbemScripting.SWbemLocator");
    writeLog(run, L"MSG : WbemScripting.SWbemLocator object created.");
    session->setImpersonationLevel(kImpersonate);
    session->connectServer(std::wstring(kComputer), L"root\\CIMV2", L"", L"");
    writeLog(run, L"MSG : Executing " + std::wstring(kQuery) + L" query.");
    session->execQuery(std::wstring(kQuery));

    bool anyInstance = false;
    while (session->nextResult()) {
        anyInstance = true;
        run.state.gUpTime = UpTime::fromText(session->readProperty(L"SystemUpTime"));
        writeLog(run, L"MSG : System Up time is [ " + run.state.gUpTime.text() + L" ]");
    }
    // Disabled or damaged performance counters answer with no instance at all; that is
    // no measurement, and the fallback must take over rather than report 0.
    if (!anyInstance) {
        throw Error(kWbemNotFound, L"The query returned no instance");
    }
}

}  // namespace

bool getSystemUpTime(RunContext& run) {
    run.state.gUpTime = UpTime();
    return withTrap(
        [&] {
            queryUpTime(run);
            return true;
        },
        [&](const Error& error) {
            const std::wstring& description = error.description();
            writeLog(run, L"ERR : Err using WMI Err Description : " + description);
            // Each CR and each LF becomes one blank, so a CR LF pair becomes two.
            writeLog(run, L"ERR : Error in getSystemUpTime Function Error Details [ " +
                              onOneLine(description) + L" ].");
            return false;
        });
}

}  // namespace tavrel
