#pragma once
// Ctrl+C while zorvctl waits for a card. A command stops at its next check of the interrupt
// flag, but a card whose module stays busy keeps the library waiting inside one call for up to
// kLongestCardWaitSeconds. A watcher thread then says what zorvctl waits for and for how long
// at most, and a second Ctrl+C ends the process at once, with the log closed.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <ostream>
#include <thread>

namespace zorvctl {

// A command that finds the module busy waits out the library's 27.5 s busy time-out once per
// resend, five times for a special status request; the library then gives the module up, and
// its later calls return at once.
inline constexpr int64_t kLongestCardWaitSeconds = 138;

// Ends the process at once with the exit code.
using EndProcess = void (*)(int exit_code);

// The card the command is busy with, published for the watcher. When several cards' threads
// wait at once, the one that began last is named.
class CardWait {
 public:
  // Card counted from 1; 0 while the command waits for the library itself.
  void Begin(int32_t card_number);
  // Another card's thread that began later keeps its own card published.
  void End(int32_t card_number) { card_.compare_exchange_strong(card_number, 0); }
  int32_t Card() const { return card_.load(); }
  // Seconds since Begin, on platform::clock().
  int64_t SecondsWaited() const;

 private:
  std::atomic<int32_t> card_{0};
  std::atomic<int64_t> since_nanoseconds_{0};
};

// Publishes a card for the scope's lifetime.
class WaitingFor {
 public:
  WaitingFor(CardWait& wait, int32_t card_number) : wait_(wait), card_number_(card_number) {
    wait_.Begin(card_number);
  }
  ~WaitingFor() { wait_.End(card_number_); }
  WaitingFor(const WaitingFor&) = delete;
  WaitingFor& operator=(const WaitingFor&) = delete;

 private:
  CardWait& wait_;
  int32_t card_number_;
};

// Watches the interrupt flag on a thread of its own while it lives. When the command has not
// ended `grace_milliseconds` after the first Ctrl+C it writes one line saying what it waits
// for; at the second Ctrl+C it closes the log and calls `end_process`. Real time: the command's
// own thread may be stuck inside the library.
class InterruptWatcher {
 public:
  InterruptWatcher(const CardWait& wait, std::ostream& out, std::ostream& err,
                   EndProcess end_process, int64_t grace_milliseconds = 1000);
  ~InterruptWatcher();
  InterruptWatcher(const InterruptWatcher&) = delete;
  InterruptWatcher& operator=(const InterruptWatcher&) = delete;

 private:
  void Watch();
  void SayWhatIsAwaited();

  const CardWait& wait_;
  std::ostream& out_;
  std::ostream& err_;
  EndProcess end_process_;
  int64_t grace_milliseconds_;
  std::mutex mutex_;
  std::condition_variable stop_;
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace zorvctl
