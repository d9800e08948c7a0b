#pragma once
// Tells which signal an action sounded by the virtual time its tones took: the process speaker
// is made audible while the object lives, with no sound server to reach, so every tone keeps
// its duration on the virtual clock and nothing is heard.

#include <cstdint>
#include <functional>

#include "platform/clock.h"
#include "platform/process.h"
#include "support/KesWinSpeakerUnit.h"

namespace zorv_test {

// Virtual milliseconds of each signal.
inline constexpr int64_t kClickBeepMs = 1;
inline constexpr int64_t kNoticeBeepMs = 100;
inline constexpr int64_t kErrorBeepMs = 220;

class SpeakerProbe {
 public:
  explicit SpeakerProbe(platform::VirtualClock& clock) : clock_(clock) {
    platform::SetEnvironmentVariable("PULSE_SERVER", "unix:/nonexistent");
    platform::SetEnvironmentVariable("ZORV_SILENT", "0");
    DestroyProcessSpeaker();
  }
  ~SpeakerProbe() {
    platform::SetEnvironmentVariable("ZORV_SILENT", "1");
    DestroyProcessSpeaker();
  }
  SpeakerProbe(const SpeakerProbe&) = delete;
  SpeakerProbe& operator=(const SpeakerProbe&) = delete;

  // The virtual milliseconds that passed during the action.
  int64_t MillisecondsOf(const std::function<void()>& action) {
    const int64_t start = clock_.MonotonicNanoseconds();
    action();
    return (clock_.MonotonicNanoseconds() - start) / 1'000'000;
  }

 private:
  platform::VirtualClock& clock_;
};

}  // namespace zorv_test
