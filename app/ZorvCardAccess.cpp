#include "app/ZorvCardAccess.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>

namespace {

constexpr int32_t kDoesNotExist = 5;

constexpr const char* kIrigStatusNames[] = {"OFF", "OK", "BUSY", "FLYWHEEL", "ERROR", "RTC"};

using CardRead = bool (progzorvclass::*)(int32_t, BitsyncStatusData&);

// Runs the reads in order; each failure counts, a stop ends the group.
bool ReadGroup(progzorvclass& zorv, int32_t card, StopTest stop,
               std::initializer_list<CardRead> reads) {
  bool all_read = true;
  for (CardRead read : reads) {
    all_read = (zorv.*read)(card, zorv.cards[card].status) && all_read;
    if (stop()) return false;
  }
  return all_read;
}

}  // namespace

bool ReloadBitsyncSetup(progzorvclass& zorv, int32_t card, bool marker_file) {
  CardData& data = zorv.cards[card];
  BitsyncSetup& setup = data.bitsync_setup;
  bool loaded = false;
  if (marker_file) {
    const int32_t stored = setup.LoopBandwidth;
    setup.LoopBandwidth = stored < 0 ? 0 : std::max(stored, 1) - 1;
    loaded = zorv.LoadBitsyncSetup(card, setup);
    setup.LoopBandwidth = stored < 0 ? stored : std::max(stored, 1);
  } else {
    loaded = zorv.LoadBitsyncSetup(card, setup);
  }
  const bool quick_react_set = zorv.SetBitsyncQuickReactMode(card, data.quick_react_mode);
  return loaded && quick_react_set;
}

bool ReadIrigTime(progzorvclass& zorv, int32_t card, double& seconds) {
  seconds = 0.0;
  const bool read = zorv.GetIrigNowtime(card, seconds);
  if (!std::isfinite(seconds)) seconds = 0.0;
  return read;
}

bool ReadIrigStatus(progzorvclass& zorv, int32_t card, int32_t& status) {
  if (!zorv.simulate) return zorv.GetIrigStatus(card, status);
  const IrigSetup& setup = zorv.cards[card].irig_setup;
  status = !setup.SourceExternal ? 1 : !setup.FlywheelEnabled ? 2 : 3;
  return true;
}

std::string IrigStatusText(int32_t status, bool source_external) {
  if (!source_external) return "INTERNAL RTC";
  if (status < 0 || status >= static_cast<int32_t>(std::size(kIrigStatusNames))) return "";
  return kIrigStatusNames[status];
}

bool IsPolled(const CardData& card, int32_t lock_status) {
  return lock_status != kDoesNotExist && card.input_source_flag != 0 &&
         card.status.option_ber_test != 0;
}

bool ReadPollGroupA(progzorvclass& zorv, int32_t card, StopTest stop) {
  const bool all_read =
      ReadGroup(zorv, card, stop,
                {&progzorvclass::GetBitSyncOperationalStatus, &progzorvclass::GetSignalVoltage,
                 &progzorvclass::GetGetOffsetFrequency, &progzorvclass::GetEstimatedEsNo});
  if (stop()) return false;
  return ReadLinkAnalysis(zorv, card, stop) && all_read;
}

bool ReadLinkAnalysis(progzorvclass& zorv, int32_t card, StopTest stop) {
  if (!zorv.cards[card].bitsync_setup.BerTestingEnabled) {
    return ReadGroup(zorv, card, stop, {&progzorvclass::GetLinkAnalysisBitCount});
  }
  const bool all_read =
      ReadGroup(zorv, card, stop,
                {&progzorvclass::GetLinkAnalysisBitCount, &progzorvclass::GetLinkAnalysisErrorCount,
                 &progzorvclass::GetLinkAnalysisOperationalStatus});
  if (stop()) return false;
  BitsyncStatusData& status = zorv.cards[card].status;
  status.bit_error_rate = status.bit_count == 0 ? 0.0
                                                : static_cast<double>(status.error_count) /
                                                      static_cast<double>(status.bit_count);
  return all_read;
}

bool ReadPollGroupB(progzorvclass& zorv, int32_t card, StopTest stop) {
  return ReadGroup(zorv, card, stop,
                   {&progzorvclass::GetBIT, &progzorvclass::GetBitsyncProgrammedBitRate});
}
