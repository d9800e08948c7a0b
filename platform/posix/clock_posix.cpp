#include <sched.h>
#include <time.h>

#include <cerrno>

#include "platform/clock.h"

namespace platform {

void RealClock::Sleep(uint32_t milliseconds) {
  timespec request{static_cast<time_t>(milliseconds / 1000),
                   static_cast<long>(milliseconds % 1000) * 1'000'000L};
  while (clock_nanosleep(CLOCK_MONOTONIC, 0, &request, &request) == EINTR) {
  }
}

void RealClock::Yield() { sched_yield(); }

int64_t RealClock::MonotonicNanoseconds() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

int64_t RealClock::PerformanceCounter() { return MonotonicNanoseconds(); }

int64_t RealClock::PerformanceFrequency() { return 1'000'000'000; }

LocalTime RealClock::Now() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  tm parts{};
  localtime_r(&now.tv_sec, &parts);
  LocalTime t;
  t.year = parts.tm_year + 1900;
  t.month = parts.tm_mon + 1;
  t.day = parts.tm_mday;
  t.hour = parts.tm_hour;
  t.minute = parts.tm_min;
  t.second = parts.tm_sec;
  t.millisecond = static_cast<int>(now.tv_nsec / 1'000'000);
  t.weekday = parts.tm_wday;
  t.yearday = parts.tm_yday;
  return t;
}

}  // namespace platform
