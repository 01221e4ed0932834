#include "report/web_post.h"

#include <memory>
#include <string>

#include "context/web_post_names.h"
#include "log/run_log.h"
#include "platform/error.h"
#include "platform/text.h"
#include "report/class_library.h"
#include "report/report_text.h"
#include "report/spool.h"
#include "settings/endpoint.h"

#ifndef TAVREL_DEFAULT_WEBPOST_HOST
#error "TAVREL_DEFAULT_WEBPOST_HOST must name the default web-post server"
#endif

namespace tavrel {

namespace {

constexpr short kTries = 5;

std::wstring readReportTimestamp(Clock& clock) {
    // One reading per field, in the order the report has always taken them.
    const int month = clock.now().month;
    const int day = clock.now().day;
    const int year = clock.now().year;
    const int hour = clock.now().hour;
    const int minute = clock.now().minute;
    const int second = clock.now().second;
    return reportTimestamp(month, day, year, hour, minute, second);
}

void postOrSpool(RunContext& run) {
    const RunState& state = run.state;
    // The library checked before its registration, and no other: a slow or failed
    // registration can leave the class naming another.
    const FileIdentity library = requireClassLibrary(run, state.gInstallPath + kWebPostLibraryName);
    std::unique_ptr<AutomationObject> webPost =
        run.os.automation.createObjectFrom(kWebPostProgId, library);

    PostXmlArguments args;
    args.report =
        buildUptimeReport(state.gRegID, state.gUpTime.text(), readReportTimestamp(run.os.clock));
    const std::wstring baseUrl =
        endpointBaseUrl(readNorvick(run, L"wpsysuptimedata"), defaultWebPostHost());
    writeLog(run, L"MSG : Sending Webpost :-->" + args.report);

    for (short attempt = 1; attempt <= kTries; ++attempt) {
        args.queryString = buildQueryString(baseUrl, state.gMemberID, state.gSiteID, state.gRegID,
                                            state.gAgentType);
        writeLog(run, L"MSG : Query String :--> " + args.queryString);
        writeLog(run, L"MSG : Webpost Try " + decimalText(static_cast<std::uint64_t>(attempt)));
        // The reply texts are not cleared between tries: the library sees what it left.
        if (webPost->callPostXmlString(args)) {
            run.state.exitStatus = ExitStatus::Delivered;
            writeLog(run, L"MSG : Webpost Return String :--> " + trimSpaces(args.reply1));
            return;
        }
        writeLog(run, L"ERR  : Webpost Return String :--> " + trimSpaces(args.reply3));
    }
    webPost.reset();
    spoolUnsentReport(run, args.report);
}

}  // namespace

std::wstring_view defaultWebPostHost() {
    return TAVREL_DEFAULT_WEBPOST_HOST;
}

void sendWebPost(RunContext& run) {
    // Until a try answers true or the spool file reaches TreskPostLogs.
    run.state.exitStatus = ExitStatus::ReportLost;
    withTrap([&] { postOrSpool(run); },
             [&](const Error& error) {
                 // A report neither delivered nor kept must not pass in silence.
                 writeLog(run, L"ERR : in sendWebPost function() " + error.description());
             });
}

}  // namespace tavrel
