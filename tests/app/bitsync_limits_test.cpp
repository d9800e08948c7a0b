#include <gtest/gtest.h>

#include "app/BitsyncLimits.h"
#include "app/Progzorvunit.h"
#include "tests/app/AppTestFixture.h"
#include "tests/common/SpeakerProbe.h"

namespace {

TEST(BitsyncLimits, WidestLoopBandwidthFollowsTheBitRate) {
  const struct {
    uint32_t bit_rate;
    int32_t code;
  } cases[] = {{49, 0},       {50, 0},      {400009, 0},  {400010, 1},   {800009, 1},
               {800010, 2},   {1024000, 2}, {1600099, 2}, {1600100, 3},  {3200099, 3},
               {3200100, 4},  {5000099, 4}, {5000100, 5}, {10000999, 5}, {10001000, 6},
               {25000000, 6}, {25000001, 0}};
  for (const auto& c : cases) EXPECT_EQ(WidestLoopBandwidth(c.bit_rate), c.code) << c.bit_rate;
}

class BandwidthLimitTest : public AppTestFixture {};

TEST_F(BandwidthLimitTest, AWiderBandwidthThanTheRateAllowsIsNarrowedWithTwoLinesAndClicks) {
  const struct {
    int32_t model;
    bool marker_file;
    uint32_t bit_rate;
    int32_t stored;
    int32_t result;
  } cases[] = {
      {0, false, 1024000, 0, 2},  // "2.0" at 1024000: raised to code 2
      {0, false, 1024000, 2, 2},  // allowed as it is
      {1, false, 1024000, 5, 5},  // narrower than needed is the operator's choice
      {0, false, 20000000, 3, 6}, {2, false, 1024000, 0, 0},  // alternate models keep their code
      {0, true, 1024000, 0, 0},                               // so do marker-file stations
  };
  zorv_test::SpeakerProbe speaker(clock_);
  for (const auto& c : cases) {
    BitsyncSetup setup = kDefaultBitsyncSetup;
    setup.Model = c.model;
    setup.BitRate = c.bit_rate;
    setup.LoopBandwidth = c.stored;
    bool changed = false;
    const int64_t ms =
        speaker.MillisecondsOf([&] { changed = ApplyBandwidthLimit(setup, c.marker_file); });
    EXPECT_EQ(setup.LoopBandwidth, c.result) << c.model << " " << c.bit_rate << " " << c.stored;
    EXPECT_EQ(changed, c.result != c.stored);
    EXPECT_EQ(ms, changed ? 2 * zorv_test::kClickBeepMs + 10 : 0);
  }
  EXPECT_TRUE(LogHas(0, "Exceeded Maximum Loop BandWidth for Bitrate selected"));
  EXPECT_TRUE(LogHas(0, " ... setting to maximum Loop BandWidth"));
}

TEST_F(BandwidthLimitTest, ABiphaseCodeLowersTheBitRateToItsMaximum) {
  const struct {
    int32_t model;
    uint32_t bit_rate;
    int32_t input_code;
    uint32_t result_rate;
    int32_t result_bandwidth;
  } cases[] = {
      {0, 20000000, 3, 12500000, 6},  // "BIOL" on model 0
      {1, 20000000, 11, 5000000, 4},  // "INV_BIOL" on model 1
      {0, 20000000, 0, 20000000, 0},  // "NRZ-L" takes 25 Mbit/s: nothing changes
      {0, 12500000, 4, 12500000, 0},  // exactly the maximum
  };
  for (const auto& c : cases) {
    BitsyncSetup setup = kDefaultBitsyncSetup;
    setup.Model = c.model;
    setup.BitRate = c.bit_rate;
    setup.LoopBandwidth = 0;
    ChooseInputCode(setup, c.input_code, false);
    EXPECT_EQ(setup.InputCode, c.input_code);
    EXPECT_EQ(setup.BitRate, c.result_rate) << c.input_code;
    EXPECT_EQ(setup.LoopBandwidth, c.result_bandwidth) << c.input_code;
  }
}

}  // namespace
