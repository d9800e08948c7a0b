// The shared object's load and unload handlers: the same attach and detach sequences that
// DllMain runs on Windows.

#include "dll/Keltdllglobunit.h"

namespace {

// At a process exit without an unload, the loader runs the unload handler only after the
// library's static objects (the log's lock registry, the emulated bus) are gone. This object,
// made at the end of the attach, is destroyed before any of them and detaches in time. At an
// unload the handler below runs first and this detach finds nothing left to do.
struct DetachAtExit {
  ~DetachAtExit() { ZorvDllProcessDetach(); }
};

__attribute__((constructor)) void ZorvDllLoad() {
  ZorvDllProcessAttach();
  static DetachAtExit detach_at_exit;
}

__attribute__((destructor)) void ZorvDllUnload() {
  ZorvDllProcessDetach();
}

}  // namespace
