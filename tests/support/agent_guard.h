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

/// The web-post class's key under HKLM, in each registry view: the double's class id,
/// which an agent's library may have too.
inline constexpr const wchar_t* kWebPostClassKey =
    L"Software\\Classes\\CLSID\\{8A1CC926-0601-4B2B-8E6D-EA4C74A2DFB6}";

/// Names the first agent key or web-post registration (its ProgID or its class) without
/// that value, for example "HKLM\Software\QUENDA (32-bit view)", looked for in the
/// 32-bit registry view and in this program's own, the class in both views; nothing when
/// there is none. One that cannot be read counts too.
std::optional<std::wstring> findAgentStateNotMadeByTests();

}  // namespace tavrel::testguard
