#pragma once
// The process-wide clock: every sleep, performance-counter read and local-time read of the
// system goes through it, so that tests can run on virtual time.

#include <atomic>
#include <cstdint>

namespace platform {

// Local calendar time as the PC clock gives it (month 1-12, weekday 0 = Sunday,
// yearday 0-based).
struct LocalTime {
  int year = 1970;
  int month = 1;
  int day = 1;
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;
  int weekday = 4;
  int yearday = 0;
};

class Clock {
 public:
  virtual ~Clock() = default;
  virtual void Sleep(uint32_t milliseconds) = 0;
  // Gives up the rest of the time slice (a zero sleep).
  virtual void Yield() = 0;
  virtual int64_t PerformanceCounter() = 0;
  virtual int64_t PerformanceFrequency() = 0;
  virtual LocalTime Now() = 0;
  // Monotonic nanoseconds; the emulator's time base.
  virtual int64_t MonotonicNanoseconds() = 0;
};

// The OS clock.
class RealClock final : public Clock {
 public:
  void Sleep(uint32_t milliseconds) override;
  void Yield() override;
  int64_t PerformanceCounter() override;
  int64_t PerformanceFrequency() override;
  LocalTime Now() override;
  int64_t MonotonicNanoseconds() override;
};

// Time that moves only when someone sleeps, yields or a test advances it. The local time
// follows the virtual time from a start the test chooses. Safe to read from several threads.
class VirtualClock final : public Clock {
 public:
  static constexpr int64_t kFrequency = 10'000'000;  // counter ticks per second
  // A yield gives the time slice away for a moment, so a busy wait that yields (for the PC
  // clock's seconds to change, say) comes to an end in virtual time.
  static constexpr int64_t kYieldNanoseconds = 10'000;

  explicit VirtualClock(const LocalTime& start = LocalTime{2024, 3, 1, 12, 0, 0, 0, 5, 60});

  void Sleep(uint32_t milliseconds) override;
  void Yield() override;
  int64_t PerformanceCounter() override;
  int64_t PerformanceFrequency() override;
  LocalTime Now() override;
  int64_t MonotonicNanoseconds() override;

  void Advance(int64_t nanoseconds);
  void SetLocalTime(const LocalTime& start);
  // Makes the next counter reads run backwards by the given ticks (a faulty counter).
  void SetCounterOffset(int64_t ticks);

 private:
  std::atomic<int64_t> nanoseconds_{0};
  std::atomic<int64_t> start_epoch_ms_;
  std::atomic<int64_t> counter_offset_{0};
};

// The installed clock (the real one unless a test installed another).
Clock& clock();
// Installs a clock; nullptr restores the real clock. The caller keeps ownership.
void InstallClock(Clock* clock);

// Installs a clock for the lifetime of the object.
class ScopedClock {
 public:
  explicit ScopedClock(Clock& clock) { InstallClock(&clock); }
  ~ScopedClock() { InstallClock(nullptr); }
  ScopedClock(const ScopedClock&) = delete;
  ScopedClock& operator=(const ScopedClock&) = delete;
};

// Calendar arithmetic (proleptic Gregorian), used by the virtual clock and by tests.
int64_t DaysFromCivil(int year, int month, int day);
LocalTime LocalTimeFromEpochMilliseconds(int64_t milliseconds);
int64_t EpochMillisecondsFromLocalTime(const LocalTime& time);

}  // namespace platform
