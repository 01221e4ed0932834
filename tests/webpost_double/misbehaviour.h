// The ways a faulty library ends its caller's process, or tries to, from inside a call.
#pragma once

#include <string>

#include "script_line.h"

namespace tavrel::webpost {

/// True for the answers that misbehave instead of answering.
bool misbehaves(AnswerKind kind);

/// Does what the answer names; comes back only where the caller survives it.
void misbehave(AnswerKind kind);

/// Puts a filter of the library's own in place, which ends the process with 0 on any
/// fault that nothing else handles, as a library with its own crash handler might.
void installOwnFaultFilter();

/// "caller A child of B": the file names of the calling process and of its parent.
std::wstring describeCaller();

}  // namespace tavrel::webpost
