#include "platform/clock.h"

#include <gtest/gtest.h>

namespace {

TEST(VirtualClock, SleepAdvancesCounterAndLocalTimeAtOnce) {
  platform::VirtualClock clock(platform::LocalTime{2023, 12, 31, 23, 59, 59, 500, 0, 364});
  platform::ScopedClock installed(clock);
  const int64_t before = platform::clock().PerformanceCounter();
  platform::clock().Sleep(27'000);
  EXPECT_EQ(platform::clock().PerformanceCounter() - before,
            27 * platform::VirtualClock::kFrequency);
  const platform::LocalTime now = platform::clock().Now();
  EXPECT_EQ(now.year, 2024);
  EXPECT_EQ(now.month, 1);
  EXPECT_EQ(now.day, 1);
  EXPECT_EQ(now.second, 26);
  EXPECT_EQ(now.millisecond, 500);
  EXPECT_EQ(now.weekday, 1);  // 1 January 2024 was a Monday
  EXPECT_EQ(now.yearday, 0);
}

TEST(VirtualClock, UninstallRestoresRealClock) {
  platform::VirtualClock clock;
  { platform::ScopedClock installed(clock); }
  EXPECT_NE(&platform::clock(), static_cast<platform::Clock*>(&clock));
}

TEST(CalendarArithmetic, RoundTripsThroughEpochMilliseconds) {
  const platform::LocalTime cases[] = {
      {1970, 1, 1, 0, 0, 0, 0, 4, 0},      {2000, 2, 29, 13, 14, 15, 16, 2, 59},
      {2100, 3, 1, 0, 0, 0, 1, 1, 59},     {1969, 12, 31, 23, 59, 59, 999, 3, 364},
      {2024, 12, 31, 12, 0, 0, 0, 2, 365},
  };
  for (const auto& t : cases) {
    const auto back =
        platform::LocalTimeFromEpochMilliseconds(platform::EpochMillisecondsFromLocalTime(t));
    EXPECT_EQ(back.year, t.year);
    EXPECT_EQ(back.month, t.month);
    EXPECT_EQ(back.day, t.day);
    EXPECT_EQ(back.hour, t.hour);
    EXPECT_EQ(back.millisecond, t.millisecond);
    EXPECT_EQ(back.weekday, t.weekday) << t.year << "-" << t.month << "-" << t.day;
    EXPECT_EQ(back.yearday, t.yearday) << t.year << "-" << t.month << "-" << t.day;
  }
}

}  // namespace

namespace {

TEST(VirtualClock, BusyWaitThatYieldsForTheNextSecondEnds) {
  platform::VirtualClock clock(platform::LocalTime{2024, 2, 1, 9, 5, 6, 999, 4, 31});
  platform::ScopedClock installed(clock);
  const int first = platform::clock().Now().second;
  int reads = 0;
  while (platform::clock().Now().second == first) {
    ASSERT_LT(++reads, 1000);
    platform::clock().Yield();
  }
  EXPECT_EQ(platform::clock().Now().second, 7);
}

}  // namespace
