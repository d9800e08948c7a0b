#include "tools/zorvctl/ZorvctlWaits.h"

#include <algorithm>
#include <chrono>

#include "platform/clock.h"
#include "platform/interrupts.h"
#include "support/keserrorlog.h"
#include "tools/zorvctl/ZorvctlArguments.h"

namespace zorvctl {
namespace {

constexpr int64_t kNanosecondsPerSecond = 1'000'000'000;
constexpr auto kWatchPeriod = std::chrono::milliseconds(50);

}  // namespace

void CardWait::Begin(int32_t card_number) {
  since_nanoseconds_.store(platform::clock().MonotonicNanoseconds());
  card_.store(card_number);
}

int64_t CardWait::SecondsWaited() const {
  return (platform::clock().MonotonicNanoseconds() - since_nanoseconds_.load()) /
         kNanosecondsPerSecond;
}

InterruptWatcher::InterruptWatcher(const CardWait& wait, std::ostream& out, std::ostream& err,
                                   EndProcess end_process, int64_t grace_milliseconds)
    : wait_(wait),
      out_(out),
      err_(err),
      end_process_(end_process),
      grace_milliseconds_(grace_milliseconds),
      thread_([this] { Watch(); }) {}

InterruptWatcher::~InterruptWatcher() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  stop_.notify_one();
  thread_.join();
}

void InterruptWatcher::Watch() {
  using Clock = std::chrono::steady_clock;
  std::unique_lock<std::mutex> lock(mutex_);
  Clock::time_point first_interrupt{};
  bool said = false;
  while (!stop_.wait_for(lock, kWatchPeriod, [this] { return stopping_; })) {
    const int count = platform::InterruptCount();
    if (count == 0) continue;
    if (first_interrupt == Clock::time_point{}) first_interrupt = Clock::now();
    if (count >= 2) {
      err_ << "zorvctl: ended at the second Ctrl+C\n" << std::flush;
      out_ << std::flush;
      CloseErrorLog(false);
      end_process_(kExitFailed);
      return;
    }
    if (!said && Clock::now() - first_interrupt >= std::chrono::milliseconds(grace_milliseconds_)) {
      SayWhatIsAwaited();
      said = true;
    }
  }
}

void InterruptWatcher::SayWhatIsAwaited() {
  const int32_t card = wait_.Card();
  if (card == 0) {
    err_ << "zorvctl: waiting for the card library; Ctrl+C again ends zorvctl now\n" << std::flush;
    return;
  }
  const int64_t left = std::max<int64_t>(kLongestCardWaitSeconds - wait_.SecondsWaited(), 1);
  err_ << "zorvctl: waiting for card " << card << ", which does not answer; the library gives "
       << "up on it within " << left << " s. Ctrl+C again ends zorvctl now\n"
       << std::flush;
}

}  // namespace zorvctl
