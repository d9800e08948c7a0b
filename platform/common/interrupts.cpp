#include "platform/interrupts.h"

#include <atomic>

namespace platform {
namespace {

// Written from a signal handler (or the console's handler thread): lock-free by requirement.
std::atomic<bool> interrupt_requested{false};
static_assert(std::atomic<bool>::is_always_lock_free);

}  // namespace

bool InterruptRequested() {
  return interrupt_requested.load();
}
void RequestInterrupt() {
  interrupt_requested.store(true);
}
void ClearInterrupt() {
  interrupt_requested.store(false);
}

}  // namespace platform
