#include <windows.h>

#include "platform/interrupts.h"

namespace platform {
namespace {

// Closing the console is left to the system: it ends the process as soon as the handler returns,
// so a flag would not be seen.
BOOL WINAPI OnConsoleEvent(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
      RequestInterrupt();
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace

void CatchInterrupts() {
  ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

}  // namespace platform
