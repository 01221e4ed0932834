// The double's files and posts are UTF-8, whatever the system code page.
#pragma once

#include <string>

namespace tavrel::webpost {

std::string toUtf8(const std::wstring& text);
std::wstring fromUtf8(const std::string& bytes);

}  // namespace tavrel::webpost
