// The agent's web-post library and the class it serves, named once: the run asks for
// them, and the entry point has the platform create that class in a child.
#pragma once

namespace tavrel {

inline constexpr const wchar_t* kWebPostLibraryName = L"Mavlin.dll";
inline constexpr const wchar_t* kWebPostProgId = L"Mavlin.WebPost";

}  // namespace tavrel
