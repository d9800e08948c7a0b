#include "platform/clock.h"
#include "windows_api.h"

namespace platform {

void RealClock::Sleep(uint32_t milliseconds) {
  ::Sleep(milliseconds);
}

void RealClock::Yield() {
  ::Sleep(0);
}

int64_t RealClock::PerformanceCounter() {
  LARGE_INTEGER value;
  ::QueryPerformanceCounter(&value);
  return value.QuadPart;
}

int64_t RealClock::PerformanceFrequency() {
  LARGE_INTEGER value;
  ::QueryPerformanceFrequency(&value);
  return value.QuadPart;
}

int64_t RealClock::MonotonicNanoseconds() {
  const int64_t count = PerformanceCounter();
  const int64_t frequency = PerformanceFrequency();
  return count / frequency * 1'000'000'000 + count % frequency * 1'000'000'000 / frequency;
}

LocalTime RealClock::Now() {
  SYSTEMTIME st;
  ::GetLocalTime(&st);
  LocalTime t;
  t.year = st.wYear;
  t.month = st.wMonth;
  t.day = st.wDay;
  t.hour = st.wHour;
  t.minute = st.wMinute;
  t.second = st.wSecond;
  t.millisecond = st.wMilliseconds;
  t.weekday = st.wDayOfWeek;
  t.yearday = static_cast<int>(DaysFromCivil(t.year, t.month, t.day) - DaysFromCivil(t.year, 1, 1));
  return t;
}

}  // namespace platform
