// The library's entry point: the attach sequence when a process loads it, the detach sequence
// when the process frees it or ends. Thread attach and detach do nothing.

#include <windows.h>

#include "dll/Keltdllglobunit.h"

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  switch (reason) {
    case DLL_PROCESS_ATTACH:
      ZorvDllProcessAttach();
      break;
    case DLL_PROCESS_DETACH:
      ZorvDllProcessDetach();
      break;
    default:
      break;
  }
  // The load never fails, also without cards.
  return TRUE;
}
