// Passing the report on to a local receiver, so a demo can show what was posted.
#pragma once

#include <optional>
#include <string>

namespace tavrel::webpost {

/// The port of an address of the form http://127.0.0.1:PORT/..., or nothing for any other.
std::optional<unsigned short> localPortOf(const std::wstring& url);

/// When `url` is local (see localPortOf), posts `body` to it as text/xml in UTF-8 and
/// returns the journal line that says how it went: "forward <url> status 200" or
/// "forward <url> failed <error>". Any other address gives nothing and no network traffic.
std::optional<std::wstring> forwardReport(const std::wstring& url, const std::wstring& body);

}  // namespace tavrel::webpost
