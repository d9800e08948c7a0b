#include "emulator/IrigReader.h"

#include <algorithm>
#include <optional>

#include "platform/clock.h"

namespace emulator {
namespace {

constexpr uint8_t kStartOfMessage = 0x01;
constexpr uint8_t kMessageLetter = 'A';
constexpr uint8_t kEndOfMessage = 0x17;
constexpr int64_t kMicrosecondsPerSecond = 1'000'000;
constexpr int64_t kSecondsPerDay = 86'400;

int64_t NowNanoseconds() {
  return platform::clock().MonotonicNanoseconds();
}

// One reading of the PC clock: its local time of year (day 1 = 1 January) and where its last
// second mark lies on the monotonic time base. The local time is read first, so a clock on
// which reading takes time gives a consistent pair.
struct PcTime {
  int64_t microseconds_of_year;
  int64_t now_ns;
  int64_t second_mark_ns;
};

PcTime ReadPcTime() {
  const platform::LocalTime t = platform::clock().Now();
  const int64_t now_ns = NowNanoseconds();
  const int64_t seconds =
      (t.yearday + 1) * kSecondsPerDay + t.hour * 3600 + t.minute * 60 + t.second;
  return {seconds * kMicrosecondsPerSecond + t.millisecond * 1000, now_ns,
          now_ns - int64_t{t.millisecond} * 1'000'000};
}

uint8_t Bcd(int64_t value) {
  return static_cast<uint8_t>((value / 10 % 10) << 4 | (value % 10));
}

bool IsDigit(uint8_t c) {
  return c >= '0' && c <= '9';
}

int DigitsValue(const uint8_t* digits, int count) {
  int value = 0;
  for (int i = 0; i < count; ++i) value = value * 10 + (digits[i] - '0');
  return value;
}

// The time a seed message names, or nothing when it is malformed: 0x01, 'A', day of year,
// hours, minutes and seconds as zero-padded ASCII digits, 0x17.
std::optional<int64_t> SeedSecondsOfYear(const std::array<uint8_t, 12>& message) {
  if (message[0] != kStartOfMessage || message[1] != kMessageLetter ||
      message[11] != kEndOfMessage) {
    return std::nullopt;
  }
  for (size_t i = 2; i < 11; ++i) {
    if (!IsDigit(message[i])) return std::nullopt;
  }
  const int day = DigitsValue(&message[2], 3);
  const int hours = DigitsValue(&message[5], 2);
  const int minutes = DigitsValue(&message[7], 2);
  const int seconds = DigitsValue(&message[9], 2);
  if (day < 1 || day > 366 || hours > 23 || minutes > 59 || seconds > 59) return std::nullopt;
  return day * kSecondsPerDay + hours * 3600 + minutes * 60 + seconds;
}

}  // namespace

IrigReader::IrigReader(const CardScenario& scenario)
    : signal_present_(scenario.irig_signal), counter_base_ns_(NowNanoseconds()) {}

uint8_t IrigReader::Read(uint32_t offset) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (offset == kStatusRegister) return ReadStatus();
  if (offset >= kControlRegister && offset < kStatusRegister)
    return latched_[offset - kControlRegister];
  return 0xFF;
}

void IrigReader::Write(uint32_t offset, uint8_t value) {
  std::lock_guard<std::mutex> lock(mutex_);
  switch (offset) {
    case kControlRegister:
      SetControl(value);
      break;
    case kSeedPort:
      TakeSeedByte(value);
      break;
    case kCaptureRegister:
      capture_busy_reads_ = kCaptureBusyReads;
      break;
    default:  // the time and status registers are read-only
      break;
  }
}

void IrigReader::SetSignalPresent(bool present) {
  std::lock_guard<std::mutex> lock(mutex_);
  Track();  // the last decoded time is the one flywheel keeps running from
  signal_present_ = present;
  Track();
}

int IrigReader::ProtocolErrors() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return protocol_errors_;
}

uint8_t IrigReader::Control() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return control_;
}

IrigKeptState IrigReader::Kept() {
  std::lock_guard<std::mutex> lock(mutex_);
  Track();
  const PcTime pc = ReadPcTime();
  return {control_, decoded_, counter_base_us_ + (pc.now_ns - counter_base_ns_) / 1000,
          pc.microseconds_of_year};
}

void IrigReader::Restore(const IrigKeptState& kept) {
  std::lock_guard<std::mutex> lock(mutex_);
  const PcTime pc = ReadPcTime();
  // A PC clock set back (or a new year) gives no time passed rather than a counter running back.
  const int64_t passed = std::max<int64_t>(pc.microseconds_of_year - kept.pc_microseconds, 0);
  control_ = kept.control & 0x07;
  decoded_ = kept.decoded;
  SetCounter(kept.counter_microseconds + passed, pc.now_ns);
  Track();
}

int64_t IrigReader::CounterMicroseconds() const {
  return counter_base_us_ + (NowNanoseconds() - counter_base_ns_) / 1000;
}

void IrigReader::SetCounter(int64_t microseconds_of_year, int64_t at_nanoseconds) {
  counter_base_us_ = microseconds_of_year;
  counter_base_ns_ = at_nanoseconds;
}

void IrigReader::Track() {
  if (!ExternalSelected() || !signal_present_) return;
  const PcTime pc = ReadPcTime();
  SetCounter(pc.microseconds_of_year, pc.now_ns);
  decoded_ = true;
}

bool IrigReader::SignalError() {
  Track();
  return ExternalSelected() && !signal_present_ && !(FlywheelOn() && decoded_);
}

uint8_t IrigReader::ReadStatus() {
  const bool busy = capture_busy_reads_ > 0 || seed_busy_reads_ > 0;
  if (seed_busy_reads_ > 0) --seed_busy_reads_;
  if (capture_busy_reads_ > 0 && --capture_busy_reads_ == 0) Latch();
  uint8_t status = latched_[kStatusRegister - kControlRegister];
  if (busy) status |= kBusyBit;
  if (SignalError()) status |= kErrorBit;
  return status;
}

void IrigReader::Latch() {
  Track();
  const int64_t t = CounterMicroseconds();
  const int64_t microseconds = t % 1000;
  const int64_t milliseconds = t / 1000 % 1000;
  const int64_t seconds = t / kMicrosecondsPerSecond;
  const int64_t day = seconds / kSecondsPerDay;
  latched_[0] = Bcd(microseconds);
  latched_[1] = static_cast<uint8_t>((milliseconds % 10) << 4 | (microseconds / 100));
  latched_[2] = Bcd(milliseconds / 10);
  latched_[3] = Bcd(seconds % 60);
  latched_[4] = Bcd(seconds / 60 % 60);
  latched_[5] = Bcd(seconds / 3600 % 24);
  latched_[6] = Bcd(day);
  latched_[7] = static_cast<uint8_t>(day / 100 % 10);
}

void IrigReader::SetControl(uint8_t value) {
  Track();
  // A new code means the reader has to find the signal again before flywheel can help.
  if ((value & 0x03) != (control_ & 0x03)) decoded_ = false;
  control_ = value & 0x07;
  Track();
}

void IrigReader::TakeSeedByte(uint8_t value) {
  if (seed_busy_reads_ > 0) ++protocol_errors_;
  seed_busy_reads_ = kSeedBusyReads;
  if (value == kStartOfMessage) {
    if (message_length_ > 0) ++protocol_errors_;  // the unfinished message is dropped
    message_length_ = 0;
    // The library sends the seed within the second it names, just after that second began.
    seed_mark_ns_ = ReadPcTime().second_mark_ns;
  }
  message_[message_length_++] = value;
  if (message_length_ == message_.size()) {
    ApplySeed();
    message_length_ = 0;
  }
}

void IrigReader::ApplySeed() {
  const std::optional<int64_t> seconds_of_year = SeedSecondsOfYear(message_);
  if (!seconds_of_year) {
    ++protocol_errors_;
    return;
  }
  SetCounter(*seconds_of_year * kMicrosecondsPerSecond, seed_mark_ns_);
}

}  // namespace emulator
