#include "support/Ctimerclass.h"

#include <cmath>
#include <cstdio>

#include "platform/clock.h"
#include "platform/named_mutex.h"
#include "platform/process.h"
#include "support/KesBorGenUnit.h"

namespace {

constexpr int32_t kIntLimit = 2147483647;
constexpr uint32_t kGetTimeWaitMs = 30;

// Floor and ceiling in extended precision, so that a time just below a day or hour boundary
// is not rounded onto it before it is split.
int32_t SaturatedInt(long double whole) {
  if (std::isnan(whole)) return 0;
  if (whole > kIntLimit) return kIntLimit;
  if (whole < -kIntLimit) return -kIntLimit;
  return static_cast<int32_t>(whole);
}

int32_t ExtendedFloor(long double x) {
  return SaturatedInt(std::floor(x));
}

}  // namespace

double TimeOfYearSeconds() {
  const platform::LocalTime now = platform::clock().Now();
  const double seconds = DayOfYear(now.year, now.month, now.day) * 86400.0 + now.hour * 3600.0 +
                         now.minute * 60.0 + now.second + now.millisecond * 0.001;
  return seconds < 0 || seconds > kMaxTimeOfYear ? 0.0 : seconds;
}

int32_t DayOfYear(int32_t year, int32_t month, int32_t day) {
  // Days before each month without February's, which is added below.
  static constexpr int32_t kDaysBefore[13] = {0,   0,   31,  31,  62,  92, 123,
                                              153, 184, 215, 245, 276, 306};
  const int32_t february = year % 4 == 0 ? 29 : 28;  // the system's calendar has no century rule
  // A month outside the year is read as January (only above 12 in the system's own data).
  if (month < 1 || month > 12) month = 1;
  int32_t month_length = 31;
  if (month == 2) {
    month_length = february;
  } else if (month == 4 || month == 6 || month == 9 || month == 11) {
    month_length = 30;
  }
  if (day > month_length) day = 1;
  return kDaysBefore[month] + (month > 2 ? february : 0) + day;
}

bool SplitTimeOfYear(double t, int32_t& day, int32_t& hour, int32_t& minute, double& seconds) {
  day = hour = minute = 0;
  seconds = 0;
  if (!std::isfinite(t) || t > kMaxTimeOfYear || t < 0) return false;
  long double rest = t;
  day = ExtendedFloor(rest * (1.0L / 86400.0L));
  rest -= day * 86400.0L;
  hour = ExtendedFloor(rest * (1.0L / 3600.0L));
  rest -= hour * 3600.0L;
  minute = ExtendedFloor(rest * (1.0L / 60.0L));
  seconds = static_cast<double>(rest - minute * 60.0L);
  if (seconds >= 60) {
    seconds = 0;
    ++minute;
  }
  if (minute >= 60) {
    minute = 0;
    ++hour;
  }
  if (hour >= 24) {
    hour = 0;
    ++day;
  }
  return true;
}

int32_t FloorToInt(double x) {
  return ExtendedFloor(x);
}

int32_t CeilToInt(double x) {
  return SaturatedInt(std::ceil(static_cast<long double>(x)));
}

int32_t RoundToInt(double x) {
  const int32_t f = FloorToInt(x);
  const int32_t c = CeilToInt(x);
  return x - f > c - x ? c : f;
}

std::string FormatTimeOfYear(double t) {
  int32_t day, hour, minute;
  double seconds;
  if (!SplitTimeOfYear(t, day, hour, minute, seconds)) return "XXX:XX:XX:XX.XXX";
  char text[40];
  const int prefix = std::snprintf(text, sizeof text, "%03d:%02d:%02d:", day, hour, minute);
  char* end = PrintPaddedFixed(text + prefix, text + sizeof text, seconds, 6, 3);
  return std::string(text, end);
}

Ctimeclass::Ctimeclass() {
  platform::BeginTimerPeriod();
  value = TimeOfYearSeconds();
  double seconds = 0;
  valid = SplitTimeOfYear(value, day, hour, minute, seconds);
  second = FloorToInt(seconds);
  millisecond = RoundToInt((seconds - second) * 1000);
  previous_value = value;
  const platform::LocalTime now = platform::clock().Now();
  year = now.year;
  month = now.month - 1;
  year_day = now.yearday;
  weekday = now.weekday;
  week = year_day / 7;
}

Ctimeclass::~Ctimeclass() {
  platform::EndTimerPeriod();
}

void Ctimeclass::SetValue(double seconds) {
  previous_value = value;
  if (!(seconds >= 0)) {
    seconds = 0;
    valid = false;
  } else if (seconds > kMaxTimeOfYear) {
    seconds = kMaxTimeOfYear;
    valid = false;
  } else {
    valid = true;
  }
  value = seconds;
}

Ctimerclass::Ctimerclass() {
  platform::BeginTimerPeriod();
  lock = std::make_unique<platform::NamedMutex>(LockName(this));
  lock->Release();
  Restart();
  Update();
}

Ctimerclass::~Ctimerclass() {
  lock->Release();
  lock.reset();
  platform::EndTimerPeriod();
}

std::string Ctimerclass::LockName(const Ctimerclass* timer) {
  return "TIMERCLASS_GETTIME_MUTEX_" + std::to_string(reinterpret_cast<uintptr_t>(timer));
}

void Ctimerclass::Restart() {
  platform::Clock& clock = platform::clock();
  period = 1.0 / static_cast<double>(clock.PerformanceFrequency());
  start_count = static_cast<double>(clock.PerformanceCounter());
  start_time = TimeOfYearSeconds();
}

double Ctimerclass::Elapsed() {
  const double ticks = static_cast<double>(platform::clock().PerformanceCounter()) - start_count;
  // A counter that ran backwards still gives a positive time; a counter with no frequency
  // gives the system's fallback of one second.
  const double seconds = std::fabs(ticks) * period;
  return std::isfinite(seconds) ? seconds : 1.0;
}

double Ctimerclass::GetTime() {
  if (!lock->Wait(kGetTimeWaitMs)) return -1;
  const double time = Elapsed() + start_time;
  lock->Release();
  return time;
}

void Ctimerclass::Update() {
  SetValue(GetTime());
}
