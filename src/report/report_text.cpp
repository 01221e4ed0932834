#include "report/report_text.h"

#include <cstddef>
#include <cstdint>

#include "platform/text.h"

namespace tavrel {

namespace {

// A registration id may hold anything; in a file name, whatever Windows refuses or
// reads as a path, and the escape itself, becomes "%" and two hex digits, so the name
// stays one name in TreskPostLogs. Ordinary ids come out unchanged.
void appendFileNameSafe(std::wstring& out, std::wstring_view text) {
    constexpr std::wstring_view kEscaped = L"\\/:*?\"<>|%";
    for (wchar_t c : text) {
        if (c < 32 || kEscaped.find(c) != std::wstring_view::npos) {
            out += L'%';
            appendHex(out, static_cast<std::uint32_t>(c), 2);
        } else {
            out += c;
        }
    }
}

}  // namespace

std::wstring reportTimestamp(int month, int day, int year, int hour, int minute, int second) {
    std::wstring out = decimalText(month) + L"/" + decimalText(day) + L"/";
    appendPadded(out, year, 4);
    out += L" " + decimalText(hour) + L":" + decimalText(minute) + L":" + decimalText(second);
    return out;
}

std::wstring buildUptimeReport(std::wstring_view regId, std::wstring_view upTime,
                               std::wstring_view timestamp) {
    std::wstring report = L"<wpsysuptimedata><regid>";
    report += regId;
    report += L"</regid><uptime>";
    report += upTime;
    report += L"</uptime><mndtime>";
    report += timestamp;
    report += L"</mndtime></wpsysuptimedata>";
    return report;
}

std::wstring endpointBaseUrl(std::wstring_view configured, std::wstring_view defaultHost) {
    std::wstring base = configured.empty() ? L"https://" + std::wstring(defaultHost) + L"/"
                                           : std::wstring(configured);
    if (base.back() != L'/') {
        base += L'/';
    }
    return base;
}

std::wstring buildQueryString(std::wstring_view baseUrl, std::wstring_view memberId,
                              std::wstring_view siteId, std::wstring_view regId,
                              std::wstring_view agentType) {
    std::wstring query(baseUrl);
    query += L"tfr_wpsysuptimedata.asp?mmid=";
    query += memberId;
    query += L"&sid=";
    query += siteId;
    query += L"&rid=";
    query += regId;
    query += L"&rty=";
    query += agentType;
    return query;
}

std::wstring spoolFileName(std::wstring_view regId, const LocalTime& time) {
    std::wstring name = L"wpsysuptimedata_N_";
    appendFileNameSafe(name, regId);
    name += L"_";
    appendPadded(name, time.month, 2);
    appendPadded(name, time.day, 2);
    appendPadded(name, time.year, 4);
    appendPadded(name, time.hour, 2);
    appendPadded(name, time.minute, 2);
    appendPadded(name, time.second, 2);
    name += L".xml";
    return name;
}

}  // namespace tavrel
