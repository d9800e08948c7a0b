#pragma once
// A virtual clock on which every local-time read takes a little time, as on a real PC, so
// that a busy wait for the PC clock's seconds to change comes to an end in virtual time.

#include <cstdint>

#include "platform/clock.h"

namespace irig_test {

class TickingClock final : public platform::Clock {
 public:
  static constexpr int64_t kReadNanoseconds = 1'000'000;

  explicit TickingClock(platform::VirtualClock& time) : time_(time) {}

  void Sleep(uint32_t milliseconds) override { time_.Sleep(milliseconds); }
  void Yield() override { time_.Yield(); }
  int64_t PerformanceCounter() override { return time_.PerformanceCounter(); }
  int64_t PerformanceFrequency() override { return time_.PerformanceFrequency(); }
  platform::LocalTime Now() override {
    time_.Advance(kReadNanoseconds);
    return time_.Now();
  }
  int64_t MonotonicNanoseconds() override { return time_.MonotonicNanoseconds(); }

 private:
  platform::VirtualClock& time_;
};

// Installs a ticking clock over the virtual clock for its lifetime, then the virtual clock
// again.
class TickingScope {
 public:
  explicit TickingScope(platform::VirtualClock& time) : time_(time), ticking_(time) {
    platform::InstallClock(&ticking_);
  }
  ~TickingScope() { platform::InstallClock(&time_); }
  TickingScope(const TickingScope&) = delete;
  TickingScope& operator=(const TickingScope&) = delete;

 private:
  platform::VirtualClock& time_;
  TickingClock ticking_;
};

}  // namespace irig_test
