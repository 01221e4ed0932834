// RedirectionGuard: a process that asks for it no longer follows a junction that an
// account other than the administrators made.
#pragma once

namespace tavrel::win32 {

/// Asks Windows to enforce RedirectionGuard on this process. Windows before 10 22H2, and
/// Wine, refuse or lack it: then nothing changes. Never throws.
void askForRedirectionGuard();

}  // namespace tavrel::win32
