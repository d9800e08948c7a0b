#pragma once
// Ctrl+C and termination requests as a flag instead of an abrupt end, for programs that must
// put the cards back (turn a bit error test off) before they stop.

namespace platform {

// From now on Ctrl+C and Ctrl+Break (and on POSIX a termination or hang-up signal) raise the
// flag instead of ending the process.
void CatchInterrupts();
bool InterruptRequested();
// How many times Ctrl+C came since the flag was last cleared: a program waiting for something
// it cannot cut short can end at once on the second.
int InterruptCount();
// Raises the flag as Ctrl+C does.
void RequestInterrupt();
void ClearInterrupt();

}  // namespace platform
