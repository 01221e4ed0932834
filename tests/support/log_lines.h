// Reading a run log back as tests compare it.
#pragma once

#include <string>
#include <vector>

namespace tavrel::fake {

/// The physical lines of a log, each ended by CR LF in the file.
std::vector<std::wstring> linesOf(const std::wstring& content);

/// The messages of a log: every line without its timestamp and tab.
std::vector<std::wstring> messagesOf(const std::wstring& content);

}  // namespace tavrel::fake
