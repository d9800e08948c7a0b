#include "platform/clock.h"

namespace platform {
namespace {

RealClock& real_clock() {
  static RealClock instance;
  return instance;
}

std::atomic<Clock*> installed{nullptr};

}  // namespace

Clock& clock() {
  Clock* c = installed.load(std::memory_order_acquire);
  return c ? *c : real_clock();
}

void InstallClock(Clock* clock) {
  installed.store(clock, std::memory_order_release);
}

int64_t DaysFromCivil(int year, int month, int day) {
  const int64_t y = static_cast<int64_t>(year) - (month <= 2 ? 1 : 0);
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t mp = (month + 9) % 12;
  const int64_t doy = (153 * mp + 2) / 5 + day - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

LocalTime LocalTimeFromEpochMilliseconds(int64_t milliseconds) {
  int64_t days = milliseconds / 86'400'000;
  int64_t rest = milliseconds % 86'400'000;
  if (rest < 0) {
    rest += 86'400'000;
    --days;
  }
  LocalTime t;
  // Civil date from days since 1970-01-01.
  const int64_t z = days + 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  t.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  t.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  t.year = static_cast<int>(yoe + era * 400 + (t.month <= 2 ? 1 : 0));
  t.hour = static_cast<int>(rest / 3'600'000);
  t.minute = static_cast<int>(rest / 60'000 % 60);
  t.second = static_cast<int>(rest / 1000 % 60);
  t.millisecond = static_cast<int>(rest % 1000);
  const int64_t wd = (days + 4) % 7;  // 1970-01-01 was a Thursday
  t.weekday = static_cast<int>(wd < 0 ? wd + 7 : wd);
  t.yearday = static_cast<int>(days - DaysFromCivil(t.year, 1, 1));
  return t;
}

int64_t EpochMillisecondsFromLocalTime(const LocalTime& time) {
  return DaysFromCivil(time.year, time.month, time.day) * 86'400'000 +
         static_cast<int64_t>(time.hour) * 3'600'000 + static_cast<int64_t>(time.minute) * 60'000 +
         static_cast<int64_t>(time.second) * 1000 + time.millisecond;
}

VirtualClock::VirtualClock(const LocalTime& start)
    : start_epoch_ms_(EpochMillisecondsFromLocalTime(start)) {}

void VirtualClock::Sleep(uint32_t milliseconds) {
  Advance(static_cast<int64_t>(milliseconds) * 1'000'000);
}

void VirtualClock::Yield() {
  Advance(kYieldNanoseconds);
}

int64_t VirtualClock::PerformanceCounter() {
  return nanoseconds_.load() / (1'000'000'000 / kFrequency) - counter_offset_.load();
}

int64_t VirtualClock::PerformanceFrequency() {
  return kFrequency;
}

LocalTime VirtualClock::Now() {
  return LocalTimeFromEpochMilliseconds(start_epoch_ms_.load() + nanoseconds_.load() / 1'000'000);
}

int64_t VirtualClock::MonotonicNanoseconds() {
  return nanoseconds_.load();
}

void VirtualClock::Advance(int64_t nanoseconds) {
  nanoseconds_.fetch_add(nanoseconds);
}

void VirtualClock::SetLocalTime(const LocalTime& start) {
  start_epoch_ms_.store(EpochMillisecondsFromLocalTime(start) - nanoseconds_.load() / 1'000'000);
}

void VirtualClock::SetCounterOffset(int64_t ticks) {
  counter_offset_.store(ticks);
}

}  // namespace platform
