#pragma once
// Time of year (seconds, day 1 = January 1st) with sub-millisecond resolution: the local
// clock read once at start, then advanced by the performance counter.

#include <cstdint>
#include <memory>
#include <string>

namespace platform {
class NamedMutex;
}

constexpr double kMaxTimeOfYear = 31708800.0;  // 367 days

// The local clock as a time of year; 0 when the clock is outside the valid range.
double TimeOfYearSeconds();
int32_t DayOfYear(int32_t year, int32_t month, int32_t day);
bool SplitTimeOfYear(double t, int32_t& day, int32_t& hour, int32_t& minute, double& seconds);
// Floor, ceiling and rounding (halves go down) to 32 bits; beyond the range the result
// saturates at -2147483647 and 2147483647, and a value that is not a number gives 0.
int32_t FloorToInt(double x);
int32_t CeilToInt(double x);
int32_t RoundToInt(double x);
// "DDD:HH:MM:SS.SSS", or "XXX:XX:XX:XX.XXX" when the value is out of range.
std::string FormatTimeOfYear(double t);

class Ctimeclass {
 public:
  Ctimeclass();
  ~Ctimeclass();
  Ctimeclass(const Ctimeclass&) = delete;
  Ctimeclass& operator=(const Ctimeclass&) = delete;

  void SetValue(double seconds);

  double value;
  double previous_value;
  bool valid;
  int32_t year;
  int32_t day;
  int32_t month;
  int32_t week;
  int32_t year_day;
  int32_t weekday;
  int32_t hour;
  int32_t minute;
  int32_t second;
  int32_t millisecond;
};

class Ctimerclass : public Ctimeclass {
 public:
  Ctimerclass();
  ~Ctimerclass();

  void Restart();
  double Elapsed();
  // The time of year, or -1 when the lock was not obtained within 30 ms.
  double GetTime();
  void Update();
  // "TIMERCLASS_GETTIME_MUTEX_" and the timer's address in decimal: one lock per timer.
  static std::string LockName(const Ctimerclass* timer);

  double start_time;
  double period;
  double start_count;
  // Exposed so that tests can hold it to show the time-out.
  std::unique_ptr<platform::NamedMutex> lock;
};
