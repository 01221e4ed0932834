// The report endpoint, from the agent's endpoint configuration file.
#pragma once

#include <string>
#include <string_view>

#include "context/run_state.h"

namespace tavrel {

/// The "URL" of the section in the installation folder's Configuration\Norvick.ini,
/// trimmed; empty text when there is none or it cannot be read. Logs its progress.
std::wstring readNorvick(RunContext& run, std::wstring_view section);

/// One value of a profile file, trimmed, or empty text. Never logs, never throws.
std::wstring readIniValue(RunContext& run, std::wstring_view section, std::wstring_view key,
                          std::wstring_view filePath);

}  // namespace tavrel
