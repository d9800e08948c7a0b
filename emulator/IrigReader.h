#pragma once
// The mother card's IRIG time-code reader, registers 0x18 to 0x1F of address space 3.
//
// The reader keeps one time counter (microseconds of the year, day 1 = 1 January). It runs
// free from the seed message when the internal clock is selected, follows the decoded time
// while an external code is selected and the station's signal is present, and keeps running
// from the last decoded time when the signal goes and flywheel is on. The station's
// time-code generator and the PC share one time base, so a decoded time is the PC's local
// time of year. Time comes from platform::clock(), so the reader moves with the library's own
// waits on virtual time. The counter does not roll over at the end of the year.

#include <array>
#include <cstdint>
#include <mutex>

#include "emulator/Scenario.h"

namespace emulator {

// What a powered reader keeps from one run of a program to the next: its control register, its
// time counter and whether it decoded the selected code.
struct IrigKeptState {
  uint8_t control = 0;
  bool decoded = false;
  int64_t counter_microseconds = 0;
  // The PC's local time of year (microseconds) when the state was taken: the counter has run on
  // since.
  int64_t pc_microseconds = 0;

  bool operator==(const IrigKeptState&) const = default;
};

class IrigReader {
 public:
  static constexpr uint32_t kControlRegister = 0x18;  // write: code select, flywheel
  static constexpr uint32_t kSeedPort = 0x19;         // write: seed message bytes
  static constexpr uint32_t kCaptureRegister = 0x1A;  // write: latch the time
  static constexpr uint32_t kStatusRegister = 0x1F;   // read: busy, error, day hundreds
  static constexpr uint8_t kBusyBit = 0x80;
  static constexpr uint8_t kErrorBit = 0x10;
  // Status reads that report busy after a capture request, and after each seed byte.
  static constexpr int kCaptureBusyReads = 3;
  static constexpr int kSeedBusyReads = 2;

  explicit IrigReader(const CardScenario& scenario);

  uint8_t Read(uint32_t offset);
  void Write(uint32_t offset, uint8_t value);

  // The station's signal at the external input; tests take it away and bring it back.
  void SetSignalPresent(bool present);
  // Malformed or abandoned seed messages, and seed bytes written while the port was busy.
  int ProtocolErrors() const;
  // The control register as last written (code select in bits 0-1, flywheel in bit 2).
  uint8_t Control() const;

  IrigKeptState Kept();
  // Takes up what the reader kept, its counter run on by the PC time passed since.
  void Restore(const IrigKeptState& kept);

 private:
  bool ExternalSelected() const { return (control_ & 0x03) != 0; }
  bool FlywheelOn() const { return (control_ & 0x04) != 0; }
  int64_t CounterMicroseconds() const;
  void SetCounter(int64_t microseconds_of_year, int64_t at_nanoseconds);
  void Track();
  bool SignalError();
  uint8_t ReadStatus();
  void Latch();
  void SetControl(uint8_t value);
  void TakeSeedByte(uint8_t value);
  void ApplySeed();

  mutable std::mutex mutex_;
  bool signal_present_;
  uint8_t control_ = 0;
  bool decoded_ = false;  // a time was decoded since the code select last changed
  int64_t counter_base_us_ = 0;
  int64_t counter_base_ns_ = 0;
  std::array<uint8_t, 8> latched_{};  // registers 0x18..0x1F; 0x1F holds the hundreds only
  int capture_busy_reads_ = 0;
  int seed_busy_reads_ = 0;
  std::array<uint8_t, 12> message_{};
  size_t message_length_ = 0;
  int64_t seed_mark_ns_ = 0;  // the second mark the message being received names
  int protocol_errors_ = 0;
};

}  // namespace emulator
