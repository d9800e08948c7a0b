#include <gtest/gtest.h>

#include <functional>

#include "platform/clock.h"
#include "platform/process.h"
#include "support/KesWinSpeakerUnit.h"

namespace {

int64_t VirtualMilliseconds(const std::function<void()>& sound) {
  platform::VirtualClock clock;
  platform::ScopedClock installed(clock);
  sound();
  return clock.MonotonicNanoseconds() / 1'000'000;
}

class Speaker : public ::testing::Test {
 protected:
  // No test should sound through a developer's desktop: point the sound client at nothing.
  void SetUp() override { platform::SetEnvironmentVariable("PULSE_SERVER", "unix:/nonexistent"); }
};

// Every duration and pause is kept even where nothing can be heard.
TEST_F(Speaker, SignalsKeepTheirDurationsAndPauses) {
  kesspeakerclass speaker;
  speaker.silent = false;
  const struct {
    const char* name;
    std::function<void()> sound;
    int64_t milliseconds;
  } cases[] = {
      {"Tone(20, 100)", [&] { speaker.Tone(20, 100); }, 100},
      {"Tone(1, 1)", [&] { speaker.Tone(1, 1); }, 1},
      {"TwoTone", [&] { speaker.TwoTone(); }, 100},
      {"LowPair", [&] { speaker.LowPair(); }, 60},
      {"DoubleLowPair", [&] { speaker.DoubleLowPair(); }, 220},
  };
  for (const auto& c : cases) EXPECT_EQ(VirtualMilliseconds(c.sound), c.milliseconds) << c.name;
  speaker.silent = true;
  for (const auto& c : cases) EXPECT_EQ(VirtualMilliseconds(c.sound), 0) << c.name;
}

TEST_F(Speaker, SilentFlagFollowsTheEnvironment) {
  const struct {
    const char* value;
    bool silent;
  } cases[] = {{"1", true}, {"0", false}, {"", false}};
  for (const auto& c : cases) {
    platform::SetEnvironmentVariable("ZORV_SILENT", c.value);
    EXPECT_EQ(kesspeakerclass().silent, c.silent) << '"' << c.value << '"';
  }
  platform::SetEnvironmentVariable("ZORV_SILENT", "1");
}

TEST_F(Speaker, ProcessSignalsCreateTheSpeakerOnFirstUse) {
  platform::SetEnvironmentVariable("ZORV_SILENT", "0");
  DestroyProcessSpeaker();
  EXPECT_EQ(VirtualMilliseconds(ErrorBeep), 220);
  EXPECT_EQ(VirtualMilliseconds(NoticeBeep), 100);
  EXPECT_EQ(VirtualMilliseconds(ClickBeep), 1);
  DestroyProcessSpeaker();
  platform::SetEnvironmentVariable("ZORV_SILENT", "1");
  EXPECT_EQ(VirtualMilliseconds(ErrorBeep), 0);
  EXPECT_TRUE(ProcessSpeaker().silent);
  DestroyProcessSpeaker();
}

}  // namespace
