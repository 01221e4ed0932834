// Keeps the tests that delete and recreate the agent key and the web-post registration off
// a machine where an agent has them: there the tests would destroy its settings.
#pragma once

#include <optional>
#include <string>

namespace tavrel::testguard {

/// The value the tests write into every agent key and web-post registration they make
/// (the double's DllRegisterServer writes it too): what carries it is the tests' own, to
/// delete, also when an interrupted run left it behind.
inline constexpr const wchar_t* kMadeByTestsValue = L"TavrelTestsMade";
inline constexpr const wchar_t* kMadeByTestsText = L"made by the Tavrel tests, which delete it";

/// Names the first agent key or web-post registration without that value, for example
/// "HKLM\Software\QUENDA (32-bit view)", looked for in the 32-bit registry view and in
/// this program's own; nothing when there is none. One that cannot be read counts too.
std::optional<std::wstring> findAgentStateNotMadeByTests();

}  // namespace tavrel::testguard
