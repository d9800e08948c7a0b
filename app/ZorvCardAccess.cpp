#include "app/ZorvCardAccess.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr const char* kIrigStatusNames[] = {"OFF", "OK", "BUSY", "FLYWHEEL", "ERROR", "RTC"};

// Runs the reads in order; each failure counts, a stop ends the group.
bool ReadGroup(progzorvclass& zorv, int32_t card, StopTest stop,
               const std::vector<StatusRead>& reads) {
  bool all_read = true;
  for (StatusRead read : reads) {
    all_read = (zorv.*read)(card, zorv.cards[card].status) && all_read;
    if (stop()) return false;
  }
  return all_read;
}

}  // namespace

bool ReloadBitsyncSetup(progzorvclass& zorv, int32_t card, bool marker_file) {
  CardData& data = zorv.cards[card];
  const BitsyncSetup sent = BitsyncSetupToSend(data.bitsync_setup, marker_file);
  return LoadBitsyncSetupAndQuickReact(zorv, card, sent, data.quick_react_mode);
}

BitsyncSetup BitsyncSetupToSend(BitsyncSetup& stored, bool marker_file) {
  BitsyncSetup sent = stored;
  if (marker_file) {
    const int32_t code = stored.LoopBandwidth;
    sent.LoopBandwidth = code < 0 ? 0 : std::max(code, 1) - 1;
    stored.LoopBandwidth = code < 0 ? code : std::max(code, 1);
  }
  return sent;
}

bool LoadBitsyncSetupAndQuickReact(progzorvclass& zorv, int32_t card, const BitsyncSetup& setup,
                                   uint8_t quick_react_mode) {
  const bool loaded = zorv.LoadBitsyncSetup(card, setup);
  const bool quick_react_set = zorv.SetBitsyncQuickReactMode(card, quick_react_mode);
  return loaded && quick_react_set;
}

bool ReadLockStatus(progzorvclass& zorv, int32_t card, int32_t& status) {
  if (!zorv.simulate && zorv.cards[card].bitsync_count == 0) {
    status = kZorvApiLockDoesNotExist;
    return true;
  }
  return zorv.GetBitsyncStatus(card, status);
}

bool ReadIrigTime(progzorvclass& zorv, int32_t card, double& seconds) {
  seconds = 0.0;
  const bool read = zorv.GetIrigNowtime(card, seconds);
  if (!std::isfinite(seconds)) seconds = 0.0;
  return read;
}

bool ReadIrigStatus(progzorvclass& zorv, int32_t card, int32_t& status) {
  return ReadIrigStatus(zorv, card, zorv.cards[card].irig_setup, status);
}

bool ReadIrigStatus(progzorvclass& zorv, int32_t card, const IrigSetup& setup, int32_t& status) {
  if (!zorv.simulate) return zorv.GetIrigStatus(card, status);
  status = !setup.SourceExternal ? 1 : !setup.FlywheelEnabled ? 2 : 3;
  return true;
}

std::string IrigStatusText(int32_t status, bool source_external) {
  return source_external ? IrigStatusName(status) : "INTERNAL RTC";
}

std::string IrigStatusName(int32_t status) {
  if (status < 0 || status >= static_cast<int32_t>(std::size(kIrigStatusNames))) return "";
  return kIrigStatusNames[status];
}

bool IsPolled(const CardData& card, int32_t lock_status) {
  return lock_status != kZorvApiLockDoesNotExist && card.input_source_flag != 0 &&
         card.status.option_ber_test != 0;
}

std::vector<StatusRead> LinkAnalysisReads(bool ber_testing) {
  std::vector<StatusRead> reads = {&progzorvclass::GetLinkAnalysisBitCount};
  if (ber_testing) {
    reads.push_back(&progzorvclass::GetLinkAnalysisErrorCount);
    reads.push_back(&progzorvclass::GetLinkAnalysisOperationalStatus);
  }
  return reads;
}

std::vector<StatusRead> PollGroupReads(int32_t group, bool ber_testing) {
  if (group != 0) return {&progzorvclass::GetBIT, &progzorvclass::GetBitsyncProgrammedBitRate};
  std::vector<StatusRead> reads = {
      &progzorvclass::GetBitSyncOperationalStatus, &progzorvclass::GetSignalVoltage,
      &progzorvclass::GetGetOffsetFrequency, &progzorvclass::GetEstimatedEsNo};
  for (StatusRead read : LinkAnalysisReads(ber_testing)) reads.push_back(read);
  return reads;
}

void UpdateBitErrorRate(BitsyncStatusData& status) {
  status.bit_error_rate = status.bit_count == 0 ? 0.0
                                                : static_cast<double>(status.error_count) /
                                                      static_cast<double>(status.bit_count);
}

bool ReadPollGroupA(progzorvclass& zorv, int32_t card, StopTest stop) {
  const bool ber_testing = zorv.cards[card].bitsync_setup.BerTestingEnabled != 0;
  const bool all_read = ReadGroup(zorv, card, stop, PollGroupReads(0, ber_testing));
  if (stop()) return false;
  if (ber_testing) UpdateBitErrorRate(zorv.cards[card].status);
  return all_read;
}

bool ReadLinkAnalysis(progzorvclass& zorv, int32_t card, StopTest stop) {
  const bool ber_testing = zorv.cards[card].bitsync_setup.BerTestingEnabled != 0;
  const bool all_read = ReadGroup(zorv, card, stop, LinkAnalysisReads(ber_testing));
  if (stop()) return false;
  if (ber_testing) UpdateBitErrorRate(zorv.cards[card].status);
  return all_read;
}

bool ReadPollGroupB(progzorvclass& zorv, int32_t card, StopTest stop) {
  return ReadGroup(zorv, card, stop, PollGroupReads(1, false));
}
