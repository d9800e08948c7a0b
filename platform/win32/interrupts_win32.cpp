#include <csignal>
#include <initializer_list>

#include "platform/interrupts.h"

namespace platform {
namespace {

// The C run-time turns Ctrl+C and Ctrl+Break of the console into SIGINT and SIGBREAK (on a
// thread of its own) and puts the default handling back before it calls a handler, so the
// handler arms itself again. Closing the console is left to the system: it ends the process
// as soon as a handler returns, so a flag would not be seen.
void OnInterrupt(int signal_number) {
  std::signal(signal_number, OnInterrupt);
  RequestInterrupt();
}

}  // namespace

void CatchInterrupts() {
  for (int signal_number : {SIGINT, SIGBREAK, SIGTERM}) std::signal(signal_number, OnInterrupt);
}

}  // namespace platform
