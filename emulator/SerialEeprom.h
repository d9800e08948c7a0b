#pragma once
// The bridge's serial EEPROM, a 93Cx6 part driven bit by bit through the bridge's control
// byte: chip select, clock, data in, data out. It takes the commands the library sends:
// write enable, read (a dummy 0, then the word, continuing into the following words while
// clocked) and write (self-timed: data out reads 0 while busy, 1 when ready, after chip
// select rises again). A write without a prior write enable is ignored. Sequences a real
// part would not expect are counted as protocol errors for tests to read.

#include <cstdint>
#include <string>
#include <vector>

namespace emulator {

class SerialEeprom {
 public:
  // Control byte bits.
  static constexpr uint8_t kClock = 0x01;
  static constexpr uint8_t kChipSelect = 0x02;
  static constexpr uint8_t kDataIn = 0x04;
  static constexpr uint8_t kDataOut = 0x08;
  // Control byte reads with chip select on that see busy after a write.
  static constexpr int kBusyReads = 4;

  // address_bits: 6 for a 93C46 (64 words), 8 for a 93C56/66 (256 words).
  explicit SerialEeprom(int address_bits);

  uint8_t ReadControl();
  void WriteControl(uint8_t value);

  uint16_t Word(uint32_t address) const { return words_[address % words_.size()]; }
  void SetWord(uint32_t address, uint16_t value) { words_[address % words_.size()] = value; }

  // A part that never finishes programming, for tests of the bounded ready wait.
  void HoldBusy(bool hold) { hold_busy_ = hold; }

  int ProtocolErrors() const { return protocol_errors_; }
  const std::string& LastProtocolError() const { return last_protocol_error_; }

 private:
  enum class Phase { kIdle, kOpcode, kAddress, kWriteData, kWriteArmed, kReading, kDone };

  void ClockIn(bool bit);
  void Decode();
  void EndCommand();
  bool Busy() const { return hold_busy_ || busy_reads_left_ > 0; }
  void ProtocolError(const std::string& what);

  const int address_bits_;
  std::vector<uint16_t> words_;
  uint8_t control_ = 0;  // as last written, data-out bit excluded
  Phase phase_ = Phase::kIdle;
  uint32_t shift_ = 0;
  int bit_count_ = 0;
  uint32_t opcode_ = 0;
  uint32_t address_ = 0;
  bool data_out_ = true;
  bool write_enabled_ = false;
  int busy_reads_left_ = 0;
  bool hold_busy_ = false;
  int protocol_errors_ = 0;
  std::string last_protocol_error_;
};

}  // namespace emulator
