// The child's side: the executable started with the child's switch makes and calls
// the web-post library's objects that the run asks for, and nothing else.
#pragma once

namespace tavrel::win32 {

/// True when the command line begins with the child's switch.
bool namesTheChildRole(const wchar_t* commandLine);

/// Serves the run over the handles the command line names, until it hangs up; returns
/// the process's exit status. A command line that names no line this process inherited
/// as the run hands it over (two pipes, neither of them a standard handle) ends at once
/// with `refusedStatus`, having done nothing: someone started the program by hand.
int serveAsChild(const wchar_t* commandLine, int refusedStatus);

}  // namespace tavrel::win32
