// The texts of the uptime report, built exactly and without side effects.
#pragma once

#include <string>
#include <string_view>

#include "platform/clock.h"

namespace tavrel {

/// "M/D/YYYY H:N:S": no leading zeros except the year's four digits.
std::wstring reportTimestamp(int month, int day, int year, int hour, int minute, int second);

/// The one-line report; values go in as they are, unescaped.
std::wstring buildUptimeReport(std::wstring_view regId, std::wstring_view upTime,
                               std::wstring_view timestamp);

/// The configured endpoint, or the default server's, ending in "/".
std::wstring endpointBaseUrl(std::wstring_view configured, std::wstring_view defaultHost);

/// The report page's address with its four keys; values go in unencoded.
std::wstring buildQueryString(std::wstring_view baseUrl, std::wstring_view memberId,
                              std::wstring_view siteId, std::wstring_view regId,
                              std::wstring_view agentType);

/// "wpsysuptimedata_N_" + regId + "_" + MMDDYYYYHHNNSS + ".xml", with every character
/// of regId that a file name cannot hold or that separates paths (\ / : * ? " < > |
/// and codes 0 to 31), and "%" itself, written as "%" and two upper-case hex digits.
std::wstring spoolFileName(std::wstring_view regId, const LocalTime& time);

}  // namespace tavrel
