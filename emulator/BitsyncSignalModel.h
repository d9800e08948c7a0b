#pragma once
// The scenario's signal as the bitsync module sees it: presence on the selected input, the
// loop's lock, the link analysis counters and the measurement texts.
//
// The model moves in module time (nanoseconds) that the module hands it with AdvanceTo before
// every use; between two calls nothing changes but the passing of time and the scenario's
// scheduled comings and goings of the signal, so counting is exact over any interval. The lock
// and counter state otherwise only changes when the module programs it.

#include <array>
#include <cstdint>
#include <random>
#include <string>

#include "emulator/Scenario.h"

namespace emulator {

enum class BerMode { kOff, kInternal, kExternal };

class BitsyncSignalModel {
 public:
  // Time from a change of source, rate or loop bandwidth until the loop is locked.
  static constexpr int64_t kAcquisitionNanoseconds = 20'000'000;
  static constexpr uint32_t kBitCountMask = 0x3FFFFFFF;    // 30-bit counter
  static constexpr uint32_t kErrorCountMask = 0x00FFFFFF;  // 24-bit counter
  static constexpr uint64_t kForcedErrorSpacing = 1000;    // bits per forced error
  static constexpr double kEsNoThresholdDb = 5.0;
  static constexpr double kEsNoNoiseDb = 0.2;  // peak of the noise on the Es/No estimate
  // Loop bandwidths of the eight-entry table, as a percentage of the signal's bit rate.
  static constexpr std::array<double, 8> kLoopBandwidthPercent = {2.0, 1.0,  0.5,  0.2,
                                                                  0.1, 0.05, 0.02, 0.01};

  explicit BitsyncSignalModel(const CardScenario& card);

  // Moves the model on to `now`, through the signal's scheduled changes; earlier times are
  // ignored.
  void AdvanceTo(int64_t now);

  void SelectSource(int source);
  void ProgramBitRate(uint32_t bits_per_second);
  void ProgramLoopBandwidth(int index);
  void SetBerMode(BerMode mode);
  void SetKnownErrors(bool on);
  // Frame sync pattern search: frames of the given length are found while locked.
  void SetFsp(bool on, uint32_t frame_length_bits);
  // The loop as it is when it has been on the signal all along: locked now where it can lock.
  void SettleLock();

  bool SignalPresent() const;
  bool Locked() const;
  bool CorrelatorLocked() const;
  // Bit 0 signal above threshold, 1 PLL lock, 2 Es/No above 5 dB, 4 BER test running,
  // 5 PRN correlator locked.
  uint8_t OperationalStatus() const;

  uint32_t BitCount() const;
  uint32_t ErrorCount() const;
  bool ErrorCountOverflow() const;
  // The correlator lost its lock since the counts last restarted.
  bool CorrelatorLostLock() const { return correlator_lost_; }

  // Seven right-aligned characters each: Es/No in dB, signal voltage in V, offset frequency
  // (signal bit rate minus the programmed one) in Hz.
  std::string EsNoText();
  std::string VoltageText() const;
  std::string OffsetFrequencyText() const;

  // Frame sync patterns found since the last call, at most 0xFFFF.
  uint16_t TakeFspCount();

 private:
  // Counts up to `now`, across no scheduled change.
  void CountTo(int64_t now);
  bool InBand() const;
  // Call before a change that may break the lock: the loop starts acquiring again.
  void Reacquire();
  void RestartCounts();
  uint64_t TakeBits(int64_t nanoseconds);

  const CardScenario card_;
  int64_t now_ = 0;
  bool scheduled_on_;
  int source_ = 0;
  uint32_t bit_rate_ = 0;
  int loop_bandwidth_ = 3;
  int64_t acquiring_since_ = 0;
  uint64_t bit_phase_ = 0;  // remainder of bits x 1e9 not yet whole bits

  BerMode ber_mode_ = BerMode::kOff;
  bool known_errors_ = false;
  uint64_t bits_ = 0;
  uint64_t errors_ = 0;
  double error_phase_ = 0.0;  // fraction of the next error at the signal's own rate
  uint64_t forced_phase_ = 0;
  bool correlator_lost_ = false;

  bool fsp_on_ = false;
  uint32_t frame_length_ = 0;
  uint64_t fsp_bits_ = 0;

  std::mt19937 noise_;
};

}  // namespace emulator
