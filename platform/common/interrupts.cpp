#include "platform/interrupts.h"

#include <atomic>

namespace platform {
namespace {

// Written from a signal handler (or the console's handler thread): lock-free by requirement.
std::atomic<int> interrupt_count{0};
static_assert(std::atomic<int>::is_always_lock_free);

}  // namespace

bool InterruptRequested() {
  return interrupt_count.load() > 0;
}
int InterruptCount() {
  return interrupt_count.load();
}
void RequestInterrupt() {
  interrupt_count.fetch_add(1);
}
void ClearInterrupt() {
  interrupt_count.store(0);
}

}  // namespace platform
