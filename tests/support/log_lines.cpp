#include "support/log_lines.h"

#include <cstddef>

namespace tavrel::fake {

std::vector<std::wstring> linesOf(const std::wstring& content) {
    std::vector<std::wstring> lines;
    std::size_t start = 0;
    while (start < content.size()) {
        const auto end = content.find(L"\r\n", start);
        if (end == std::wstring::npos) {
            lines.push_back(content.substr(start));
            break;
        }
        lines.push_back(content.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

std::vector<std::wstring> messagesOf(const std::wstring& content) {
    std::vector<std::wstring> messages;
    for (const auto& line : linesOf(content)) {
        const auto tab = line.find(L'\t');
        messages.push_back(tab == std::wstring::npos ? line : line.substr(tab + 1));
    }
    return messages;
}

}  // namespace tavrel::fake
