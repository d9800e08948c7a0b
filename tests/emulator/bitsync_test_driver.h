#pragma once
// Drives the emulated bitsync module at register level the way a host does: command byte,
// strobe, busy and PE polls, reply bytes with acknowledge pulses. Virtual time: every register
// access is followed by the host's 2 ms pause.

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "emulator/BitsyncModule.h"
#include "platform/clock.h"

namespace bitsync_test {

using emulator::BitsyncModule;

constexpr uint8_t kEnd = 0x0A;

// The eight bit-rate digit commands, ten-millions digit first.
inline std::vector<uint8_t> RateDigits(uint32_t bit_rate) {
  static constexpr uint8_t kDigitBase[8] = {0x90, 0x10, 0x20, 0x30, 0x40, 0x50, 0x60, 0x70};
  std::vector<uint8_t> commands;
  uint32_t scale = 10'000'000;
  for (uint8_t base : kDigitBase) {
    commands.push_back(static_cast<uint8_t>(base + bit_rate / scale % 10));
    scale /= 10;
  }
  return commands;
}

// A setup that programs the rate and loop bandwidth command, with the given extra commands
// before its end.
inline std::vector<uint8_t> SetupCommands(uint32_t bit_rate, uint8_t loop_bandwidth_command,
                                          const std::vector<uint8_t>& extra = {}) {
  std::vector<uint8_t> commands = {0x00};
  const std::vector<uint8_t> digits = RateDigits(bit_rate);
  commands.insert(commands.end(), digits.begin(), digits.end());
  commands.push_back(loop_bandwidth_command);
  commands.insert(commands.end(), extra.begin(), extra.end());
  commands.push_back(kEnd);
  return commands;
}

class BitsyncDriver {
 public:
  explicit BitsyncDriver(const emulator::CardScenario& card = {}) : module(card) {}

  void Pause(uint32_t milliseconds) { clock.Sleep(milliseconds); }

  uint8_t Status() {
    const uint8_t status = module.Read(BitsyncModule::kStatusRegister);
    Pause(2);
    return status;
  }
  uint8_t CommandRegister() {
    const uint8_t value = module.Read(BitsyncModule::kCommandRegister);
    Pause(2);
    return value;
  }
  void WriteCommandRegister(uint8_t value) {
    module.Write(BitsyncModule::kCommandRegister, value);
    Pause(2);
  }
  void WriteControl(uint8_t value) {
    control_ = value;
    module.Write(BitsyncModule::kStatusRegister, value);
    Pause(2);
  }

  // Source select as the host writes it: bits 1..0 and 5..4, bit 3 and the idle strobe line.
  void SelectSource(int source) {
    WriteControl(static_cast<uint8_t>(0x0C | (source / 4) << 4 | source % 4));
  }

  // The strobe line low then high, the rest of the control register unchanged.
  void Pulse() {
    WriteControl(control_ & ~BitsyncModule::kStrobeBit);
    WriteControl(control_ | BitsyncModule::kStrobeBit);
  }

  // The strobe writes back to back, without the host's pauses.
  void RawPulse() {
    module.Write(BitsyncModule::kStatusRegister, control_ & ~BitsyncModule::kStrobeBit);
    module.Write(BitsyncModule::kStatusRegister, control_ | BitsyncModule::kStrobeBit);
  }
  void RawStrobe(uint8_t command) {
    module.Write(BitsyncModule::kCommandRegister, command);
    RawPulse();
  }

  bool WaitReady() {
    for (int poll = 0; poll < 100; ++poll) {
      if (!(Status() & BitsyncModule::kBusyBit)) return true;
    }
    return false;
  }

  // One command: wait until the module is ready, then the byte and its strobe.
  void Strobe(uint8_t command) {
    ASSERT_TRUE(WaitReady()) << "busy before command " << int{command};
    WriteCommandRegister(command);
    Pulse();
  }

  void Send(const std::vector<uint8_t>& commands) {
    for (uint8_t command : commands) Strobe(command);
  }

  // Waits for PE after the command's processing time; false when it never rises.
  bool WaitPe() {
    for (int poll = 0; poll < 6; ++poll) {
      if (Status() & BitsyncModule::kPeBit) return true;
      Pause(28);
    }
    return false;
  }

  // A special status request and its whole reply, each byte acknowledged.
  std::vector<uint8_t> Request(uint8_t command) {
    Send({command, kEnd});
    std::vector<uint8_t> reply;
    if (!WaitPe()) return reply;
    while (Status() & BitsyncModule::kPeBit) {
      reply.push_back(CommandRegister());
      Pulse();
    }
    return reply;
  }

  // Module time of the next access, for counts that grow with time.
  int64_t Nanoseconds() { return clock.MonotonicNanoseconds(); }

  platform::VirtualClock clock;
  platform::ScopedClock scoped_clock{clock};
  BitsyncModule module;

 private:
  uint8_t control_ = 0;
};

}  // namespace bitsync_test
