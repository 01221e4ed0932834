// What a Windows test program knows of the machine it runs on: the folder it was
// started from, which holds every program it needs, and whether that machine is Wine.
#pragma once

#include <string>

namespace tavrel::testhost {

/// The path of a file beside this test program: the build folder and an unpacked test
/// bundle lay out Tavrel.exe, the double and the test programs the same way.
std::wstring pathBesideThisProgram(const std::wstring& name);

/// True under Wine, whose answers differ from Windows' in a few places the tests name.
bool runsUnderWine();

}  // namespace tavrel::testhost
