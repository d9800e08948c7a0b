#include <signal.h>

#include "platform/interrupts.h"

namespace platform {
namespace {

void OnInterrupt(int) {
  RequestInterrupt();
}

}  // namespace

void CatchInterrupts() {
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  // Sleeps end early on a signal anyway; restarting keeps other system calls unaffected.
  action.sa_flags = SA_RESTART;
  ::sigaction(SIGINT, &action, nullptr);
  ::sigaction(SIGTERM, &action, nullptr);
  ::sigaction(SIGHUP, &action, nullptr);
}

}  // namespace platform
