#pragma once
// The bitsync daughter module behind registers 0x0E (command, reply data) and 0x0F (status,
// control) of address space 3.
//
// A command is the byte in the command register taken by a strobe: control bit 2 written low
// and then high. The module is busy for a moment after each command. A special status request
// (0xE0..0xED, then 0x0A) is answered after a short processing time: PE (status bit 6) rises
// and the command register shows the reply byte by byte; a strobe without a new command byte
// acknowledges the byte shown. The module keeps every value a setup programs, drives the
// signal model with them, and counts every way a host breaks the protocol.
//
// Time is module time: the sum of the steps of platform::clock() between accesses, so that a
// test that swaps the installed clock does not make the module jump. Thread-safe: one mutex.

#include <array>
#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

#include "emulator/BitsyncSignalModel.h"
#include "emulator/Scenario.h"

namespace platform {
class Clock;
}

namespace emulator {

// What the host has programmed, as the module holds it. Code indices are the rows of the
// name tables; the command bytes are what the special status replies give back.
struct BitsyncProgramming {
  std::array<uint8_t, 8> bit_rate_commands = {0x90, 0x10, 0x20, 0x30, 0x40, 0x50, 0x60, 0x70};
  uint32_t bit_rate = 0;
  uint8_t loop_bandwidth_command = 0x82;
  int loop_bandwidth = 3;
  uint8_t input_code_command = 0xA0;  // for RNRZ-9 the byte after the 0x07 prefix
  int input_code = 0;
  uint8_t output_code_command = 0xB0;
  int output_code = 0;
  bool extended_commands = false;  // 0x02, taken from firmware 146 on
  bool quick_react_mode = false;
  bool bit_decision_detector = false;
  bool do_90_deg_clk_out = false;
  bool startup_auto_test_enabled = false;
  bool pattern_15_bit = false;
  bool nrzl_dc_output_disabled_at_symbol_unlock = false;
  bool nrzl_dc_output_disabled_at_es_no_5db = false;
  bool pcm_encoder_output_disabled_at_symbol_unlock = false;
  bool pcm_encoder_output_disabled_at_es_no_5db = false;
  BerMode ber_mode = BerMode::kOff;
  bool known_error_mode = false;
  bool fsp_enabled = false;
  std::array<uint8_t, 12> fsp_parameters{};
  int setups_completed = 0;
};

// What a powered module keeps from one run of a program to the next: the control register, the
// last complete setup (the bytes 0x00 ... 0x0A as the host sent them; none before the first),
// quick react and FSP mode.
struct BitsyncKeptState {
  uint8_t control = 0;
  std::vector<uint8_t> setup;
  bool quick_react_mode = false;
  std::optional<std::array<uint8_t, 12>> fsp_parameters;  // while FSP mode is on

  bool operator==(const BitsyncKeptState&) const = default;
};

// Protocol violations, by kind.
struct BitsyncViolations {
  int strobe_while_busy = 0;
  int acknowledge_without_reply = 0;
  int command_not_in_language = 0;
  int command_while_reply_unread = 0;
  int special_status_in_setup = 0;
  int interleaved_transactions = 0;

  int Total() const {
    return strobe_while_busy + acknowledge_without_reply + command_not_in_language +
           command_while_reply_unread + special_status_in_setup + interleaved_transactions;
  }
};

class BitsyncModule {
 public:
  static constexpr uint32_t kCommandRegister = 0x0E;
  static constexpr uint32_t kStatusRegister = 0x0F;  // written: the control register
  static constexpr uint8_t kSignalBit = 0x01;
  static constexpr uint8_t kLockBit = 0x02;
  static constexpr uint8_t kBusyBit = 0x04;
  static constexpr uint8_t kNoModuleBit = 0x10;
  static constexpr uint8_t kPeBit = 0x40;
  static constexpr uint8_t kStrobeBit = 0x04;
  static constexpr uint8_t kEndOfCommand = 0x0A;
  static constexpr int64_t kCommandBusyNanoseconds = 1'000'000;
  static constexpr int64_t kReplyDelayNanoseconds = 2'000'000;

  explicit BitsyncModule(const CardScenario& card);

  uint8_t Read(uint32_t offset);
  void Write(uint32_t offset, uint8_t value);

  BitsyncViolations Violations() const;
  BitsyncProgramming Programming() const;
  // The input source that the control register selects (bits 5..4 times 4 plus bits 1..0).
  int SelectedSource() const;
  uint8_t ControlRegister() const;
  // The bytes of the last transaction that was completed with 0x0A.
  std::vector<uint8_t> LastTransaction() const;

  BitsyncKeptState Kept() const;
  // Takes up what the module kept, as it is when its card is powered on again: programmed as
  // before and, where the signal allows, locked already.
  void Restore(const BitsyncKeptState& kept);

 private:
  enum class Transaction { kNone, kSetup, kSpecialStatus, kQuickReact, kFspEnable, kFspDisable };
  enum class SetupCommand {
    kNone,
    kClockPhase,
    kExtendedCommands,
    kBitRateDigit,
    kLoopBandwidth,
    kInputCode,
    kOutputCode,
    kRnrz9Prefix,
    kQuickReact,
    kDetector,
    kSpecialSetup,
  };

  void AdvanceTime();
  bool Busy() const;
  bool ReplyQueued() const { return reply_position_ < reply_.size(); }
  bool PeRaised() const;
  bool NewerFormat() const;
  bool TakesNewerCommands() const;
  uint8_t Status() const;

  void Strobe();
  void TakeCommand(uint8_t command);
  bool OpensTransaction(uint8_t command) const;
  void Open(uint8_t command);
  void Complete();
  void Interrupt(uint8_t command);
  SetupCommand ClassifySetupCommand(uint8_t command) const;
  void TakeSetupCommand(uint8_t command);
  void ApplySetupCommand(SetupCommand kind, uint8_t command);
  void ApplyCodePair(uint8_t command);
  void ApplySpecialSetup(uint8_t command);
  // FSP mode with the parameters programmed last.
  void ApplyFsp(bool on);
  std::vector<uint8_t> SpecialStatusReply(uint8_t command);

  mutable std::mutex mutex_;
  const CardScenario card_;
  BitsyncSignalModel signal_;

  platform::Clock* clock_ = nullptr;
  int64_t clock_reading_ = 0;
  int64_t now_ = 0;

  uint8_t command_register_ = 0;
  bool command_written_ = false;  // since the last strobe
  uint8_t control_ = 0;
  bool strobe_line_high_ = true;  // the line idles high
  int64_t busy_until_ = 0;
  // ModuleState::kHangsAfterConfiguration: the configuration reply was read to the end, and
  // busy for good from the next command on.
  bool hang_after_reply_ = false;
  bool hung_ = false;

  Transaction transaction_ = Transaction::kNone;
  std::vector<uint8_t> transaction_bytes_;
  bool rnrz9_prefix_ = false;
  std::vector<uint8_t> last_transaction_;
  std::vector<uint8_t> last_setup_;

  std::vector<uint8_t> reply_;
  size_t reply_position_ = 0;
  int64_t reply_ready_at_ = 0;

  BitsyncProgramming programming_;
  BitsyncViolations violations_;
};

}  // namespace emulator
