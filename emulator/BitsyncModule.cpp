#include "emulator/BitsyncModule.h"

#include <algorithm>
#include <string>

#include "platform/clock.h"

namespace emulator {
namespace {

constexpr uint8_t kSetupStart = 0x00;
constexpr uint8_t kClock90Degrees = 0x01;
constexpr uint8_t kExtendedCommandsOn = 0x02;
constexpr uint8_t kQuickReactOff = 0x04;
constexpr uint8_t kFspEnableCommand = 0x05;
constexpr uint8_t kFspDisableCommand = 0x06;
constexpr uint8_t kRnrz9PrefixCommand = 0x07;
constexpr uint8_t kDetectorOff = 0x08;
constexpr uint8_t kDetectorOn = 0x09;
constexpr uint8_t kQuickReactOn = 0x0E;
constexpr uint8_t kConfigurationRequest = 0xED;
// RNRZ-9 travels as 0x07 followed by the byte of the code it replaces.
constexpr uint8_t kRnrz9Input = 0xD1;
constexpr uint8_t kInvertedRnrz9Input = 0xDD;
constexpr uint8_t kRnrz9Output = 0xDF;
constexpr int kRnrz9InputIndex = 30;
constexpr int kInvertedRnrz9InputIndex = 31;
constexpr int kRnrz9OutputIndex = 18;
constexpr size_t kFspParameterCount = 12;
constexpr size_t kLongestReply = 11;  // the Es/No reply with the FSP count
// Firmware (configuration byte 5) from which 0x02 and the RNRZ-9 pairs are understood.
constexpr uint8_t kNewerCommandsFirmware = 146;
// Indexed by the eight-entry loop bandwidth table.
constexpr std::array<uint8_t, 8> kLoopBandwidthCommands = {0x8B, 0x88, 0x85, 0x82,
                                                           0x81, 0x8F, 0x8E, 0x8D};
// Built-in test of a healthy module; bit 6 of the fourth byte shows link analysis running.
constexpr std::array<uint8_t, 5> kBuiltInTest = {0xBB, 0x1E, 0xA1, 0x1E, 0x3F};
constexpr uint8_t kLinkAnalysisRunningBit = 0x40;

// 0xE1 has no reply length: no host asks for it.
bool IsSpecialStatusRequest(uint8_t command) {
  return command >= 0xE0 && command <= 0xED && command != 0xE1;
}

int DecodeSource(uint8_t control) {
  return ((control >> 4) & 0x03) * 4 + (control & 0x03);
}

void AppendLittleEndian(std::vector<uint8_t>& bytes, uint32_t value, int count) {
  for (int i = 0; i < count; ++i) bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

}  // namespace

BitsyncModule::BitsyncModule(const CardScenario& card)
    : card_(card),
      signal_(card),
      clock_(&platform::clock()),
      clock_reading_(clock_->MonotonicNanoseconds()) {}

void BitsyncModule::AdvanceTime() {
  platform::Clock& clock = platform::clock();
  const int64_t reading = clock.MonotonicNanoseconds();
  if (&clock == clock_ && reading > clock_reading_) now_ += reading - clock_reading_;
  clock_ = &clock;
  clock_reading_ = reading;
  signal_.AdvanceTo(now_);
}

uint8_t BitsyncModule::Read(uint32_t offset) {
  std::lock_guard<std::mutex> lock(mutex_);
  AdvanceTime();
  if (offset == kStatusRegister) return Status();
  if (offset != kCommandRegister) return 0xFF;
  if (PeRaised()) return reply_[reply_position_];
  // The older mother card does not drive the register back.
  return card_.readback ? command_register_ : 0xFF;
}

void BitsyncModule::Write(uint32_t offset, uint8_t value) {
  std::lock_guard<std::mutex> lock(mutex_);
  AdvanceTime();
  if (offset == kCommandRegister) {
    command_register_ = value;
    command_written_ = true;
    return;
  }
  if (offset != kStatusRegister) return;
  const bool line_was_low = !strobe_line_high_;
  control_ = value;
  strobe_line_high_ = (value & kStrobeBit) != 0;
  signal_.SelectSource(DecodeSource(value));
  if (line_was_low && strobe_line_high_ && card_.module != ModuleState::kAbsent) Strobe();
}

bool BitsyncModule::Busy() const {
  return card_.module == ModuleState::kStuckBusy || hung_ || now_ < busy_until_;
}

bool BitsyncModule::PeRaised() const {
  return ReplyQueued() && now_ >= reply_ready_at_;
}

bool BitsyncModule::NewerFormat() const {
  return card_.configuration[2] != '1' && card_.configuration[2] != '2';
}

bool BitsyncModule::TakesNewerCommands() const {
  return card_.configuration[5] >= kNewerCommandsFirmware;
}

uint8_t BitsyncModule::Status() const {
  if (card_.module == ModuleState::kAbsent) return kNoModuleBit;
  uint8_t status = 0;
  if (signal_.SignalPresent()) status |= kSignalBit;
  if (signal_.Locked()) status |= kLockBit;
  if (Busy()) status |= kBusyBit;
  if (PeRaised()) status |= kPeBit;
  return status;
}

void BitsyncModule::Strobe() {
  if (Busy()) {
    ++violations_.strobe_while_busy;
    return;
  }
  // A host acknowledges a reply byte by strobing without writing a new command byte.
  const bool new_command = command_written_;
  command_written_ = false;
  if (!new_command) {
    if (PeRaised()) {
      ++reply_position_;
      hang_after_reply_ = card_.module == ModuleState::kHangsAfterConfiguration && !ReplyQueued() &&
                          reply_.front() == kConfigurationRequest;
    } else {
      ++violations_.acknowledge_without_reply;
    }
    return;
  }
  if (hang_after_reply_) {
    hung_ = true;  // takes nothing from now on
    return;
  }
  if (ReplyQueued()) {
    ++violations_.command_while_reply_unread;
    reply_.clear();
    reply_position_ = 0;
  }
  busy_until_ = now_ + kCommandBusyNanoseconds;
  TakeCommand(command_register_);
}

void BitsyncModule::TakeCommand(uint8_t command) {
  switch (transaction_) {
    case Transaction::kNone:
      if (OpensTransaction(command)) {
        Open(command);
      } else {
        ++violations_.command_not_in_language;
      }
      return;
    case Transaction::kSetup:
      TakeSetupCommand(command);
      return;
    case Transaction::kFspEnable:
      if (transaction_bytes_.size() < 1 + kFspParameterCount) {
        transaction_bytes_.push_back(command);
        return;
      }
      break;
    case Transaction::kSpecialStatus:
    case Transaction::kQuickReact:
    case Transaction::kFspDisable:
      break;
  }
  if (command == kEndOfCommand) {
    transaction_bytes_.push_back(command);
    Complete();
  } else {
    Interrupt(command);
  }
}

bool BitsyncModule::OpensTransaction(uint8_t command) const {
  if (command == kFspEnableCommand || command == kFspDisableCommand) return NewerFormat();
  return command == kSetupStart || command == kQuickReactOn || command == kQuickReactOff ||
         IsSpecialStatusRequest(command);
}

void BitsyncModule::Open(uint8_t command) {
  transaction_bytes_.assign(1, command);
  rnrz9_prefix_ = false;
  if (command == kSetupStart) {
    transaction_ = Transaction::kSetup;
  } else if (command == kFspEnableCommand) {
    transaction_ = Transaction::kFspEnable;
  } else if (command == kFspDisableCommand) {
    transaction_ = Transaction::kFspDisable;
  } else if (IsSpecialStatusRequest(command)) {
    transaction_ = Transaction::kSpecialStatus;
  } else {
    transaction_ = Transaction::kQuickReact;
    programming_.quick_react_mode = command == kQuickReactOn;
  }
}

void BitsyncModule::Complete() {
  last_transaction_ = transaction_bytes_;
  switch (transaction_) {
    case Transaction::kSetup:
      ++programming_.setups_completed;
      last_setup_ = transaction_bytes_;
      break;
    case Transaction::kSpecialStatus:
      if (card_.module != ModuleState::kSilent) {
        reply_ = SpecialStatusReply(transaction_bytes_.front());
        reply_position_ = 0;
        reply_ready_at_ = now_ + kReplyDelayNanoseconds;
      }
      break;
    case Transaction::kFspEnable:
      std::copy_n(transaction_bytes_.begin() + 1, kFspParameterCount,
                  programming_.fsp_parameters.begin());
      ApplyFsp(true);
      break;
    case Transaction::kFspDisable:
      ApplyFsp(false);
      break;
    case Transaction::kQuickReact:
    case Transaction::kNone:
      break;
  }
  transaction_ = Transaction::kNone;
  transaction_bytes_.clear();
}

// A byte that does not belong to the open transaction: another transaction has cut in, or the
// byte means nothing at all. The open transaction is abandoned only in the first case.
void BitsyncModule::Interrupt(uint8_t command) {
  if (OpensTransaction(command)) {
    ++violations_.interleaved_transactions;
    Open(command);
  } else if (ClassifySetupCommand(command) != SetupCommand::kNone) {
    ++violations_.interleaved_transactions;
    transaction_ = Transaction::kNone;
    transaction_bytes_.clear();
  } else {
    ++violations_.command_not_in_language;
  }
}

BitsyncModule::SetupCommand BitsyncModule::ClassifySetupCommand(uint8_t command) const {
  const int high = command >> 4;
  const int low = command & 0x0F;
  if (command == kSetupStart || command == kClock90Degrees) return SetupCommand::kClockPhase;
  if (command == kExtendedCommandsOn && TakesNewerCommands()) {
    return SetupCommand::kExtendedCommands;
  }
  if (command == kRnrz9PrefixCommand && TakesNewerCommands()) return SetupCommand::kRnrz9Prefix;
  if (command == kQuickReactOn || command == kQuickReactOff) return SetupCommand::kQuickReact;
  if (command == kDetectorOn || command == kDetectorOff) return SetupCommand::kDetector;
  if ((high == 0x9 || (high >= 0x1 && high <= 0x7)) && low <= 9) {
    return SetupCommand::kBitRateDigit;
  }
  if (std::find(kLoopBandwidthCommands.begin(), kLoopBandwidthCommands.end(), command) !=
      kLoopBandwidthCommands.end()) {
    return SetupCommand::kLoopBandwidth;
  }
  if (high == 0xA || (command >= 0xD0 && command <= 0xDD)) return SetupCommand::kInputCode;
  if (high == 0xB || command == 0xDE || command == 0xDF) return SetupCommand::kOutputCode;
  if (command >= 0xC0 && command <= 0xCE && command != 0xC9) return SetupCommand::kSpecialSetup;
  return SetupCommand::kNone;
}

void BitsyncModule::TakeSetupCommand(uint8_t command) {
  if (rnrz9_prefix_) {
    rnrz9_prefix_ = false;
    if (command == kRnrz9Input || command == kInvertedRnrz9Input || command == kRnrz9Output) {
      transaction_bytes_.push_back(command);
      ApplyCodePair(command);
      return;
    }
    // The prefix is lost; the byte still counts on its own.
    ++violations_.command_not_in_language;
  }
  if (command == kEndOfCommand) {
    transaction_bytes_.push_back(command);
    Complete();
    return;
  }
  const SetupCommand kind = ClassifySetupCommand(command);
  if (kind != SetupCommand::kNone) {
    transaction_bytes_.push_back(command);
    ApplySetupCommand(kind, command);
  } else if (IsSpecialStatusRequest(command)) {
    ++violations_.special_status_in_setup;
    Open(command);
  } else if (OpensTransaction(command)) {
    ++violations_.interleaved_transactions;
    Open(command);
  } else {
    ++violations_.command_not_in_language;
  }
}

void BitsyncModule::ApplySetupCommand(SetupCommand kind, uint8_t command) {
  BitsyncProgramming& p = programming_;
  switch (kind) {
    case SetupCommand::kClockPhase:
      p.do_90_deg_clk_out = command == kClock90Degrees;
      break;
    case SetupCommand::kExtendedCommands:
      p.extended_commands = true;
      break;
    case SetupCommand::kBitRateDigit: {
      // 0x90 carries the ten-millions digit, 0x10 to 0x70 the millions down to the units.
      const int position = (command >> 4) == 0x9 ? 0 : command >> 4;
      p.bit_rate_commands[position] = command;
      p.bit_rate = 0;
      for (uint8_t digit : p.bit_rate_commands) p.bit_rate = p.bit_rate * 10 + (digit & 0x0F);
      signal_.ProgramBitRate(p.bit_rate);
      break;
    }
    case SetupCommand::kLoopBandwidth:
      p.loop_bandwidth_command = command;
      p.loop_bandwidth = static_cast<int>(
          std::find(kLoopBandwidthCommands.begin(), kLoopBandwidthCommands.end(), command) -
          kLoopBandwidthCommands.begin());
      signal_.ProgramLoopBandwidth(p.loop_bandwidth);
      break;
    case SetupCommand::kInputCode:
      p.input_code_command = command;
      p.input_code = command < 0xD0 ? command - 0xA0 : command - 0xD0 + 16;
      break;
    case SetupCommand::kOutputCode:
      p.output_code_command = command;
      p.output_code = command < 0xDE ? command - 0xB0 : command - 0xDE + 16;
      break;
    case SetupCommand::kRnrz9Prefix:
      rnrz9_prefix_ = true;
      break;
    case SetupCommand::kQuickReact:
      p.quick_react_mode = command == kQuickReactOn;
      break;
    case SetupCommand::kDetector:
      p.bit_decision_detector = command == kDetectorOn;
      break;
    case SetupCommand::kSpecialSetup:
      ApplySpecialSetup(command);
      break;
    case SetupCommand::kNone:
      break;
  }
}

void BitsyncModule::ApplyCodePair(uint8_t command) {
  if (command == kRnrz9Output) {
    programming_.output_code_command = command;
    programming_.output_code = kRnrz9OutputIndex;
  } else {
    programming_.input_code_command = command;
    programming_.input_code = command == kRnrz9Input ? kRnrz9InputIndex : kInvertedRnrz9InputIndex;
  }
}

void BitsyncModule::ApplySpecialSetup(uint8_t command) {
  BitsyncProgramming& p = programming_;
  switch (command) {
    case 0xC0:
    case 0xC1:
      p.startup_auto_test_enabled = command == 0xC1;
      break;
    case 0xC2:
    case 0xC3:
      p.pattern_15_bit = command == 0xC3;
      break;
    case 0xC4:
      p.nrzl_dc_output_disabled_at_symbol_unlock = true;
      break;
    case 0xC5:
      p.nrzl_dc_output_disabled_at_es_no_5db = true;
      break;
    case 0xC6:
      p.pcm_encoder_output_disabled_at_symbol_unlock = true;
      break;
    case 0xC7:
      p.pcm_encoder_output_disabled_at_es_no_5db = true;
      break;
    case 0xC8:
      // Enables every output; the disables that are wanted follow it.
      p.nrzl_dc_output_disabled_at_symbol_unlock = false;
      p.nrzl_dc_output_disabled_at_es_no_5db = false;
      p.pcm_encoder_output_disabled_at_symbol_unlock = false;
      p.pcm_encoder_output_disabled_at_es_no_5db = false;
      break;
    case 0xCA:
    case 0xCD:
    case 0xCE:
      p.ber_mode = command == 0xCD   ? BerMode::kOff
                   : command == 0xCA ? BerMode::kExternal
                                     : BerMode::kInternal;
      signal_.SetBerMode(p.ber_mode);
      break;
    case 0xCB:
    case 0xCC:
      p.known_error_mode = command == 0xCC;
      signal_.SetKnownErrors(p.known_error_mode);
      break;
    default:
      break;
  }
}

void BitsyncModule::ApplyFsp(bool on) {
  programming_.fsp_enabled = on;
  // Parameter bytes: pattern (8), pattern length, allowed errors, frame length (2, MSB first).
  const uint32_t frame_length =
      on ? uint32_t{programming_.fsp_parameters[10]} << 8 | programming_.fsp_parameters[11] : 0;
  signal_.SetFsp(on, frame_length);
}

// Byte 0 repeats the command, byte 1 is the reply's length, the data follow.
std::vector<uint8_t> BitsyncModule::SpecialStatusReply(uint8_t command) {
  std::vector<uint8_t> reply;
  reply.reserve(kLongestReply);
  reply.push_back(command);
  reply.push_back(0);
  const auto append_text = [&reply](const std::string& text) {
    reply.insert(reply.end(), text.begin(), text.end());
  };
  switch (command) {
    case 0xE0:
      reply.push_back(signal_.OperationalStatus());
      break;
    case 0xE2:
      AppendLittleEndian(reply, signal_.BitCount(), 4);
      break;
    case 0xE3:
      AppendLittleEndian(reply, signal_.ErrorCount(), 3);
      break;
    case 0xE4:
      // Flags read 0 when good.
      reply.push_back(signal_.CorrelatorLocked() ? 0 : 1);
      reply.push_back(signal_.CorrelatorLostLock() ? 1 : 0);
      reply.push_back(signal_.ErrorCountOverflow() ? 1 : 0);
      break;
    case 0xE5:
      append_text(signal_.EsNoText());
      if (NewerFormat()) {
        const uint16_t count = signal_.TakeFspCount();
        reply.push_back(static_cast<uint8_t>(count >> 8));
        reply.push_back(static_cast<uint8_t>(count & 0xFF));
      }
      break;
    case 0xE6:
      append_text(signal_.VoltageText());
      break;
    case 0xE7:
      append_text(signal_.OffsetFrequencyText());
      break;
    case 0xE8:
      reply.insert(reply.end(), kBuiltInTest.begin(), kBuiltInTest.end());
      if (programming_.ber_mode != BerMode::kOff) reply[5] |= kLinkAnalysisRunningBit;
      break;
    case 0xE9:
      reply.insert(reply.end(), programming_.bit_rate_commands.begin(),
                   programming_.bit_rate_commands.end());
      break;
    case 0xEA:
      reply.push_back(programming_.input_code_command);
      break;
    case 0xEB:
      reply.push_back(programming_.output_code_command);
      break;
    case 0xEC:
      reply.push_back(programming_.loop_bandwidth_command);
      break;
    default:  // 0xED: the configuration
      reply.insert(reply.end(), card_.configuration.begin() + 2, card_.configuration.end());
      break;
  }
  reply[1] = static_cast<uint8_t>(reply.size());
  return reply;
}

BitsyncViolations BitsyncModule::Violations() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return violations_;
}

BitsyncProgramming BitsyncModule::Programming() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return programming_;
}

int BitsyncModule::SelectedSource() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return DecodeSource(control_);
}

uint8_t BitsyncModule::ControlRegister() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return control_;
}

std::vector<uint8_t> BitsyncModule::LastTransaction() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return last_transaction_;
}

BitsyncKeptState BitsyncModule::Kept() const {
  std::lock_guard<std::mutex> lock(mutex_);
  BitsyncKeptState kept{control_, last_setup_, programming_.quick_react_mode, std::nullopt};
  if (programming_.fsp_enabled) kept.fsp_parameters = programming_.fsp_parameters;
  return kept;
}

void BitsyncModule::Restore(const BitsyncKeptState& kept) {
  std::lock_guard<std::mutex> lock(mutex_);
  AdvanceTime();
  control_ = kept.control;
  strobe_line_high_ = (kept.control & kStrobeBit) != 0;
  signal_.SelectSource(DecodeSource(kept.control));
  // The setup is taken as the host sent it, so that it means what it meant then.
  for (const uint8_t command : kept.setup) TakeCommand(command);
  programming_.quick_react_mode = kept.quick_react_mode;
  if (kept.fsp_parameters) {
    programming_.fsp_parameters = *kept.fsp_parameters;
    ApplyFsp(true);
  }
  signal_.SettleLock();
}

}  // namespace emulator
