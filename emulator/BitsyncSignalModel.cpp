#include "emulator/BitsyncSignalModel.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace emulator {
namespace {

constexpr uint64_t kNanosecondsPerSecond = 1'000'000'000;
// Every module draws the same noise, so that a run repeats exactly.
constexpr std::mt19937::result_type kNoiseSeed = 20240301;

std::string FormatMeasurement(const char* format, double value, double low, double high) {
  char text[32];
  std::snprintf(text, sizeof text, format, std::clamp(value, low, high));
  return text;
}

}  // namespace

BitsyncSignalModel::BitsyncSignalModel(const CardScenario& card)
    : card_(card), scheduled_on_(card.signal_schedule.On(0)), noise_(kNoiseSeed) {}

void BitsyncSignalModel::AdvanceTo(int64_t now) {
  const SignalSchedule& schedule = card_.signal_schedule;
  for (int64_t change = schedule.NextChange(now_); change <= now;
       change = schedule.NextChange(now_)) {
    CountTo(change);
    // Gone, the loop drops its lock; back, it acquires again.
    Reacquire();
    scheduled_on_ = schedule.On(now_);
  }
  CountTo(now);
}

void BitsyncSignalModel::CountTo(int64_t now) {
  if (now <= now_) return;
  const bool counting = ber_mode_ != BerMode::kOff || fsp_on_;
  if (counting && SignalPresent() && InBand()) {
    const int64_t from = std::max(now_, acquiring_since_ + kAcquisitionNanoseconds);
    if (now > from) {
      const uint64_t bits = TakeBits(now - from);
      if (ber_mode_ != BerMode::kOff) {
        bits_ += bits;
        error_phase_ += static_cast<double>(bits) * std::clamp(card_.signal_ber, 0.0, 1.0);
        const double whole = std::floor(error_phase_);
        errors_ += static_cast<uint64_t>(whole);
        error_phase_ -= whole;
        if (known_errors_) {
          forced_phase_ += bits;
          errors_ += forced_phase_ / kForcedErrorSpacing;
          forced_phase_ %= kForcedErrorSpacing;
        }
      }
      if (fsp_on_) fsp_bits_ += bits;
    }
  }
  now_ = now;
}

uint64_t BitsyncSignalModel::TakeBits(int64_t nanoseconds) {
  // Split into whole seconds and the rest so that the products stay within 64 bits.
  const uint64_t span = static_cast<uint64_t>(nanoseconds);
  const uint64_t scaled = uint64_t{bit_rate_} * (span % kNanosecondsPerSecond) + bit_phase_;
  bit_phase_ = scaled % kNanosecondsPerSecond;
  return uint64_t{bit_rate_} * (span / kNanosecondsPerSecond) + scaled / kNanosecondsPerSecond;
}

void BitsyncSignalModel::Reacquire() {
  if (CorrelatorLocked()) correlator_lost_ = true;
  acquiring_since_ = now_;
}

void BitsyncSignalModel::SelectSource(int source) {
  if (source == source_) return;
  Reacquire();
  source_ = source;
}

void BitsyncSignalModel::ProgramBitRate(uint32_t bits_per_second) {
  if (bits_per_second == bit_rate_) return;
  Reacquire();
  bit_rate_ = bits_per_second;
}

void BitsyncSignalModel::ProgramLoopBandwidth(int index) {
  if (index == loop_bandwidth_) return;
  Reacquire();
  loop_bandwidth_ = index;
}

void BitsyncSignalModel::SetBerMode(BerMode mode) {
  if (mode == ber_mode_) return;
  if (mode != BerMode::kOff) RestartCounts();
  ber_mode_ = mode;
}

void BitsyncSignalModel::SetKnownErrors(bool on) {
  known_errors_ = on;
}

void BitsyncSignalModel::SetFsp(bool on, uint32_t frame_length_bits) {
  fsp_on_ = on;
  frame_length_ = frame_length_bits;
  fsp_bits_ = 0;
}

void BitsyncSignalModel::SettleLock() {
  acquiring_since_ = now_ - kAcquisitionNanoseconds;
  correlator_lost_ = false;
}

void BitsyncSignalModel::RestartCounts() {
  bits_ = 0;
  errors_ = 0;
  error_phase_ = 0.0;
  forced_phase_ = 0;
  correlator_lost_ = false;
}

bool BitsyncSignalModel::SignalPresent() const {
  return card_.signal_source >= 0 && source_ == card_.signal_source && scheduled_on_;
}

bool BitsyncSignalModel::InBand() const {
  if (bit_rate_ == 0) return false;
  const double tolerance = card_.signal_bit_rate * kLoopBandwidthPercent[loop_bandwidth_] / 100;
  return std::fabs(card_.signal_bit_rate - bit_rate_) <= tolerance;
}

bool BitsyncSignalModel::Locked() const {
  return SignalPresent() && InBand() && now_ - acquiring_since_ >= kAcquisitionNanoseconds;
}

bool BitsyncSignalModel::CorrelatorLocked() const {
  return ber_mode_ != BerMode::kOff && Locked();
}

uint8_t BitsyncSignalModel::OperationalStatus() const {
  const bool locked = Locked();
  uint8_t status = 0;
  if (SignalPresent()) status |= 0x01;
  if (locked) status |= 0x02;
  if (locked && card_.signal_es_no > kEsNoThresholdDb) status |= 0x04;
  if (ber_mode_ != BerMode::kOff) status |= 0x10;
  if (CorrelatorLocked()) status |= 0x20;
  return status;
}

uint32_t BitsyncSignalModel::BitCount() const {
  return static_cast<uint32_t>(bits_ & kBitCountMask);
}

uint32_t BitsyncSignalModel::ErrorCount() const {
  return static_cast<uint32_t>(errors_ & kErrorCountMask);
}

bool BitsyncSignalModel::ErrorCountOverflow() const {
  return errors_ > kErrorCountMask;
}

std::string BitsyncSignalModel::EsNoText() {
  double es_no = 0.0;  // no estimate without symbol lock
  if (Locked()) {
    const double unit = static_cast<double>(noise_()) / static_cast<double>(noise_.max());
    es_no = card_.signal_es_no + (2 * unit - 1) * kEsNoNoiseDb;
  }
  return FormatMeasurement("%7.1f", es_no, -99.9, 999.9);
}

std::string BitsyncSignalModel::VoltageText() const {
  const double volts = SignalPresent() ? card_.signal_voltage : 0.0;
  return FormatMeasurement("%7.3f", volts, 0.0, 999.999);
}

std::string BitsyncSignalModel::OffsetFrequencyText() const {
  const double offset = SignalPresent() ? card_.signal_bit_rate - bit_rate_ : 0.0;
  char text[32];
  std::snprintf(text, sizeof text, "%7lld",
                std::clamp(std::llround(offset), -999'999LL, 9'999'999LL));
  return text;
}

uint16_t BitsyncSignalModel::TakeFspCount() {
  if (!fsp_on_ || frame_length_ == 0) return 0;
  const uint64_t frames = fsp_bits_ / frame_length_;
  fsp_bits_ %= frame_length_;
  return static_cast<uint16_t>(std::min<uint64_t>(frames, 0xFFFF));
}

}  // namespace emulator
