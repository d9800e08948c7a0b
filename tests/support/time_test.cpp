#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <future>
#include <limits>
#include <thread>

#include "platform/clock.h"
#include "platform/named_mutex.h"
#include "support/Ctimerclass.h"

namespace {

// 1 March 2024 12:00:00.000, a Friday, day 61 of a leap year.
constexpr platform::LocalTime kMarchFirst{2024, 3, 1, 12, 0, 0, 0, 5, 60};
constexpr double kMarchFirstSeconds = 61 * 86400.0 + 12 * 3600.0;

TEST(DayOfYear, FebruaryEveryFourthYearAndOutOfRangeParts) {
  const struct {
    int32_t year, month, day, expected;
  } cases[] = {
      {2008, 3, 1, 61},  {2009, 3, 1, 60},    {2100, 3, 1, 61},  // no century rule
      {2009, 4, 31, 91},                                         // day beyond April is 1
      {2009, 2, 29, 32}, {2008, 2, 29, 60},   {2009, 13, 5, 5},  // month 13 is January
      {2009, 0, 5, 5},   {2009, 12, 31, 365}, {2008, 12, 31, 366}, {2009, 1, 1, 1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DayOfYear(c.year, c.month, c.day), c.expected)
        << c.year << "-" << c.month << "-" << c.day;
  }
}

TEST(DayOfYear, EveryDayOfACommonAndALeapYearAsTheCalendarCountsIt) {
  using namespace std::chrono;
  for (const int y : {2023, 2024}) {
    const sys_days new_year = year{y} / January / 1;
    for (sys_days date = new_year; date < sys_days{year{y + 1} / January / 1}; date += days{1}) {
      const year_month_day ymd{date};
      const auto month = static_cast<int32_t>(unsigned{ymd.month()});
      const auto day = static_cast<int32_t>(unsigned{ymd.day()});
      EXPECT_EQ(DayOfYear(y, month, day), (date - new_year).count() + 1)
          << y << "-" << month << "-" << day;
    }
  }
}

TEST(SplitTimeOfYear, LimitsOfTheValidRange) {
  int32_t day = 9, hour = 9, minute = 9;
  double seconds = 9;
  EXPECT_TRUE(SplitTimeOfYear(86400, day, hour, minute, seconds));
  EXPECT_EQ(day, 1);
  EXPECT_EQ(hour, 0);
  EXPECT_EQ(minute, 0);
  EXPECT_EQ(seconds, 0.0);
  EXPECT_TRUE(SplitTimeOfYear(31708800, day, hour, minute, seconds));
  EXPECT_EQ(day, 367);
  EXPECT_TRUE(SplitTimeOfYear(86399.9999999, day, hour, minute, seconds));
  EXPECT_EQ(day, 0);
  EXPECT_EQ(hour, 23);
  EXPECT_EQ(minute, 59);
  EXPECT_NEAR(seconds, 59.9999999, 1e-9);
  for (double bad : {31708800.5, -0.001, std::numeric_limits<double>::quiet_NaN(),
                     std::numeric_limits<double>::infinity()}) {
    day = hour = minute = 9;
    seconds = 9;
    EXPECT_FALSE(SplitTimeOfYear(bad, day, hour, minute, seconds)) << bad;
    EXPECT_EQ(day + hour + minute, 0) << bad;
    EXPECT_EQ(seconds, 0.0) << bad;
  }
}

// Every whole minute of the year splits exactly, whichever way the reciprocals round: a
// floor that lands one short is carried up into the next minute, hour and day.
TEST(SplitTimeOfYear, WholeMinutesCarryIntoTheNextUnit) {
  for (int32_t m = 0; m <= 367 * 1440; ++m) {
    int32_t day, hour, minute;
    double seconds;
    ASSERT_TRUE(SplitTimeOfYear(m * 60.0, day, hour, minute, seconds));
    ASSERT_EQ(day, m / 1440) << m;
    ASSERT_EQ(hour, m / 60 % 24) << m;
    ASSERT_EQ(minute, m % 60) << m;
    ASSERT_EQ(seconds, 0.0) << m;
  }
}

TEST(IntConversions, HalvesGoDownAndResultsSaturate) {
  const struct {
    double x;
    int32_t floor, ceil, round;
  } cases[] = {
      {2.5, 2, 3, 2},
      {-2.5, -3, -2, -3},
      {2.5000001, 2, 3, 3},
      {1.4, 1, 2, 1},
      {-1.6, -2, -1, -2},
      {0.5, 0, 1, 0},
      {7, 7, 7, 7},
      {2147483647.5, 2147483647, 2147483647, 2147483647},
      {3e9, 2147483647, 2147483647, 2147483647},
      {-3e9, -2147483647, -2147483647, -2147483647},
      {std::numeric_limits<double>::quiet_NaN(), 0, 0, 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FloorToInt(c.x), c.floor) << c.x;
    EXPECT_EQ(CeilToInt(c.x), c.ceil) << c.x;
    EXPECT_EQ(RoundToInt(c.x), c.round) << c.x;
  }
}

TEST(FormatTimeOfYear, FormatsAndRoundsSecondsAsPrinted) {
  EXPECT_EQ(FormatTimeOfYear(45 * 86400 + 13 * 3600 + 7 * 60 + 9.25), "045:13:07:09.250");
  // The split does not carry 59.9996 s; the three-decimal format rounds it to 60.000.
  EXPECT_EQ(FormatTimeOfYear(86400 + 59.9996), "001:00:00:60.000");
  EXPECT_EQ(FormatTimeOfYear(-1), "XXX:XX:XX:XX.XXX");
  EXPECT_EQ(FormatTimeOfYear(31708800.5), "XXX:XX:XX:XX.XXX");
}

TEST(Ctimeclass, DecompositionAndCalendarFromTheLocalClock) {
  platform::VirtualClock clock(platform::LocalTime{2024, 3, 1, 12, 0, 7, 250, 5, 60});
  platform::ScopedClock installed(clock);
  EXPECT_EQ(TimeOfYearSeconds(), kMarchFirstSeconds + 7.25);
  Ctimeclass time;
  EXPECT_TRUE(time.valid);
  EXPECT_EQ(time.value, kMarchFirstSeconds + 7.25);
  EXPECT_EQ(time.previous_value, time.value);
  EXPECT_EQ(time.year, 2024);
  EXPECT_EQ(time.month, 2);  // 0 = January
  EXPECT_EQ(time.year_day, 60);
  EXPECT_EQ(time.weekday, 5);
  EXPECT_EQ(time.week, 8);
  EXPECT_EQ(time.day, 61);
  EXPECT_EQ(time.hour, 12);
  EXPECT_EQ(time.minute, 0);
  EXPECT_EQ(time.second, 7);
  EXPECT_EQ(time.millisecond, 250);
}

TEST(Ctimeclass, SetValueClampsToTheYear) {
  platform::VirtualClock clock(kMarchFirst);
  platform::ScopedClock installed(clock);
  Ctimeclass time;
  const struct {
    double given, stored;
    bool valid;
  } cases[] = {
      {100, 100, true},
      {-5, 0, false},
      {std::numeric_limits<double>::quiet_NaN(), 0, false},
      {31708801, 31708800, false},
      {31708800, 31708800, true},
  };
  for (const auto& c : cases) {
    const double before = time.value;
    time.SetValue(c.given);
    EXPECT_EQ(time.value, c.stored) << c.given;
    EXPECT_EQ(time.valid, c.valid) << c.given;
    EXPECT_EQ(time.previous_value, before) << c.given;
  }
}

TEST(Ctimerclass, AdvancesWithThePerformanceCounter) {
  platform::VirtualClock clock(kMarchFirst);
  platform::ScopedClock installed(clock);
  Ctimerclass timer;
  EXPECT_EQ(timer.GetTime(), kMarchFirstSeconds);
  clock.Sleep(1500);
  EXPECT_NEAR(timer.GetTime(), kMarchFirstSeconds + 1.5, 1e-9);
  // Later changes of the local clock do not move it until Restart.
  clock.SetLocalTime(platform::LocalTime{2024, 3, 2, 12, 0, 0, 0, 6, 61});
  EXPECT_NEAR(timer.GetTime(), kMarchFirstSeconds + 1.5, 1e-9);
  timer.Restart();
  EXPECT_EQ(timer.GetTime(), kMarchFirstSeconds + 86400);
  timer.Update();
  EXPECT_EQ(timer.value, kMarchFirstSeconds + 86400);
}

TEST(Ctimerclass, CounterRunningBackwardsGivesPositiveElapsedTime) {
  platform::VirtualClock clock(kMarchFirst);
  platform::ScopedClock installed(clock);
  clock.Sleep(10'000);
  Ctimerclass timer;
  clock.SetCounterOffset(2 * platform::VirtualClock::kFrequency);
  EXPECT_NEAR(timer.Elapsed(), 2.0, 1e-9);
  EXPECT_GT(timer.GetTime(), timer.start_time);
}

class ZeroFrequencyClock final : public platform::Clock {
 public:
  void Sleep(uint32_t) override {}
  void Yield() override {}
  int64_t PerformanceCounter() override { return 5; }
  int64_t PerformanceFrequency() override { return 0; }
  platform::LocalTime Now() override { return kMarchFirst; }
  int64_t MonotonicNanoseconds() override { return 0; }
};

TEST(Ctimerclass, CounterWithoutFrequencyGivesOneSecond) {
  ZeroFrequencyClock clock;
  platform::ScopedClock installed(clock);
  Ctimerclass timer;
  EXPECT_EQ(timer.Elapsed(), 1.0);
}

// Real time: the lock is a real mutex with a 30 ms wait. The holder is stuck, not ended, until
// the reads are done: a lock whose holder ended is abandoned, and Windows hands it on.
TEST(Ctimerclass, GetTimeGivesMinusOneWhileItsLockIsHeldElsewhere) {
  platform::VirtualClock clock(kMarchFirst);
  platform::ScopedClock installed(clock);
  Ctimerclass timer;
  platform::NamedMutex same_lock(Ctimerclass::LockName(&timer));
  std::promise<bool> taken;
  std::promise<void> reads_done;
  std::thread holder([&, done = reads_done.get_future()] {
    taken.set_value(same_lock.Wait(0));
    done.wait();
    same_lock.Release();
  });
  EXPECT_TRUE(taken.get_future().get());
  EXPECT_EQ(timer.GetTime(), -1);
  timer.Update();
  EXPECT_FALSE(timer.valid);
  EXPECT_EQ(timer.value, 0);
  reads_done.set_value();
  holder.join();
}

}  // namespace
