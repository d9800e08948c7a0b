#pragma once
// The real clock, remembering the protocol pauses it was asked for: 2 ms after every module
// register access and 5 ms after every busy or PE test. Their sum is the floor that no
// implementation of the protocol can beat; benchmarks report their time as a ratio to it.

#include <cstdint>

#include "platform/clock.h"

class FloorClock final : public platform::Clock {
 public:
  void Sleep(uint32_t milliseconds) override {
    if (milliseconds == 2 || milliseconds == 5) floor_ms += milliseconds;
    real_.Sleep(milliseconds);
  }
  void Yield() override { real_.Yield(); }
  int64_t PerformanceCounter() override { return real_.PerformanceCounter(); }
  int64_t PerformanceFrequency() override { return real_.PerformanceFrequency(); }
  platform::LocalTime Now() override { return real_.Now(); }
  int64_t MonotonicNanoseconds() override { return real_.MonotonicNanoseconds(); }

  int64_t floor_ms = 0;

 private:
  platform::RealClock real_;
};
