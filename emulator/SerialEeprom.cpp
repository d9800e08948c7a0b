#include "emulator/SerialEeprom.h"

namespace emulator {

namespace {

constexpr uint32_t kOpcodeRead = 2;
constexpr uint32_t kOpcodeWrite = 1;
constexpr uint32_t kOpcodeExtended = 0;  // the top two address bits pick the command
constexpr uint32_t kExtendedWriteEnable = 3;
constexpr int kWordBits = 16;

}  // namespace

SerialEeprom::SerialEeprom(int address_bits)
    : address_bits_(address_bits), words_(size_t{1} << address_bits, 0xFFFF) {}

uint8_t SerialEeprom::ReadControl() {
  const bool selected = (control_ & kChipSelect) != 0;
  bool data_out = true;  // an undriven data line reads high
  if (selected && phase_ == Phase::kReading) {
    data_out = data_out_;
  } else if (selected && phase_ == Phase::kIdle && Busy()) {
    data_out = false;
    if (busy_reads_left_ > 0) --busy_reads_left_;
  }
  return static_cast<uint8_t>((control_ & ~kDataOut) | (data_out ? kDataOut : 0));
}

void SerialEeprom::WriteControl(uint8_t value) {
  const uint8_t before = control_;
  control_ = static_cast<uint8_t>(value & ~kDataOut);  // data out is the part's, not ours
  const bool was_selected = (before & kChipSelect) != 0;
  const bool selected = (control_ & kChipSelect) != 0;
  const bool clock_was_high = (before & kClock) != 0;
  const bool clock_high = (control_ & kClock) != 0;

  if (was_selected != selected) {
    if (clock_was_high) ProtocolError("chip select changed while the clock was high");
    if (was_selected) {
      EndCommand();
    } else {
      phase_ = Phase::kIdle;
    }
  }
  if (clock_high && !clock_was_high) {
    if (selected) {
      ClockIn((control_ & kDataIn) != 0);
    } else {
      ProtocolError("clock edge with chip select off");
    }
  }
}

void SerialEeprom::ClockIn(bool bit) {
  switch (phase_) {
    case Phase::kIdle:
      // Zeros before the start bit are allowed; a start bit while programming is not.
      if (!bit) return;
      if (Busy()) {
        ProtocolError("command started while a write was in progress");
        phase_ = Phase::kDone;
        return;
      }
      phase_ = Phase::kOpcode;
      shift_ = 0;
      bit_count_ = 0;
      return;
    case Phase::kOpcode:
    case Phase::kAddress:
    case Phase::kWriteData:
      shift_ = (shift_ << 1) | (bit ? 1u : 0u);
      ++bit_count_;
      if (phase_ == Phase::kOpcode && bit_count_ == 2) {
        opcode_ = shift_;
        phase_ = Phase::kAddress;
        shift_ = 0;
        bit_count_ = 0;
      } else if (phase_ == Phase::kAddress && bit_count_ == address_bits_) {
        address_ = shift_;
        Decode();
      } else if (phase_ == Phase::kWriteData && bit_count_ == kWordBits) {
        phase_ = Phase::kWriteArmed;
      }
      return;
    case Phase::kReading: {
      // Each rising edge presents the next bit, running on into the following words.
      const uint16_t word = words_[address_];
      data_out_ = ((word >> (kWordBits - 1 - bit_count_)) & 1) != 0;
      if (++bit_count_ == kWordBits) {
        bit_count_ = 0;
        address_ = (address_ + 1) % static_cast<uint32_t>(words_.size());
      }
      return;
    }
    case Phase::kWriteArmed:
    case Phase::kDone:
      ProtocolError("clock edge after the command was complete");
      return;
  }
}

void SerialEeprom::Decode() {
  shift_ = 0;
  bit_count_ = 0;
  if (opcode_ == kOpcodeRead) {
    phase_ = Phase::kReading;
    data_out_ = false;  // the dummy 0 that precedes the data
  } else if (opcode_ == kOpcodeWrite) {
    phase_ = Phase::kWriteData;
  } else if (opcode_ == kOpcodeExtended &&
             address_ >> (address_bits_ - 2) == kExtendedWriteEnable) {
    write_enabled_ = true;
    phase_ = Phase::kDone;
  } else {
    ProtocolError("unknown opcode " + std::to_string(opcode_) + " address " +
                  std::to_string(address_));
    phase_ = Phase::kDone;
  }
}

void SerialEeprom::EndCommand() {
  switch (phase_) {
    case Phase::kWriteArmed:
      // Programming starts when chip select falls; without write enable nothing happens.
      if (write_enabled_) {
        words_[address_] = static_cast<uint16_t>(shift_);
        busy_reads_left_ = kBusyReads;
      }
      break;
    case Phase::kOpcode:
    case Phase::kAddress:
    case Phase::kWriteData:
      ProtocolError("chip select dropped in the middle of a command");
      break;
    case Phase::kIdle:
    case Phase::kReading:
    case Phase::kDone:
      break;
  }
  phase_ = Phase::kIdle;
}

void SerialEeprom::ProtocolError(const std::string& what) {
  ++protocol_errors_;
  last_protocol_error_ = what;
}

}  // namespace emulator
