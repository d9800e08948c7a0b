#include "app/BitsyncLimits.h"

#include "platform/clock.h"
#include "support/KesBorGenUnit.h"
#include "support/KesWinSpeakerUnit.h"

namespace {

// The highest bit rate of each loop bandwidth code, widest first.
constexpr struct {
  uint32_t highest;
  int32_t code;
} kBandwidthByRate[] = {{400009, 0},  {800009, 1},   {1600099, 2}, {3200099, 3},
                        {5000099, 4}, {10000999, 5}, {25000000, 6}};
constexpr uint32_t kSlowestRate = 50;

}  // namespace

uint32_t MaximumBitRate(int32_t model, int32_t input_code) {
  const uint32_t limit = (model == 0 || model == 3) ? 25000000 : 10000000;
  const bool biphase = input_code == 3 || input_code == 4 || input_code == 5 || input_code == 11;
  return biphase ? limit / 2 : limit;
}

int32_t WidestLoopBandwidth(uint32_t bit_rate) {
  if (bit_rate < kSlowestRate) return 0;
  for (const auto& band : kBandwidthByRate) {
    if (bit_rate <= band.highest) return band.code;
  }
  return 0;
}

bool IsAlternateBitsyncModel(int32_t model) {
  return model != 0 && model != 1;
}

bool ApplyBandwidthLimit(BitsyncSetup& setup, bool marker_file) {
  if (IsAlternateBitsyncModel(setup.Model) || marker_file) return false;
  const int32_t widest = WidestLoopBandwidth(setup.BitRate);
  if (widest <= setup.LoopBandwidth) return false;
  LogInfo("Exceeded Maximum Loop BandWidth for Bitrate selected", 0, false);
  LogInfo(" ... setting to maximum Loop BandWidth", 0, false);
  ClickBeep();
  platform::clock().Sleep(10);
  ClickBeep();
  setup.LoopBandwidth = widest;
  return true;
}

void ChooseInputCode(BitsyncSetup& setup, int32_t input_code, bool marker_file) {
  setup.InputCode = input_code;
  const uint32_t maximum = MaximumBitRate(setup.Model, input_code);
  if (setup.BitRate <= maximum) return;
  setup.BitRate = maximum;
  ApplyBandwidthLimit(setup, marker_file);
}
