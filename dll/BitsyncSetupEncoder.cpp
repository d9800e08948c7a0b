#include "dll/BitsyncSetupEncoder.h"

#include <bit>

namespace bitsync {
namespace {

void AppendQuickReact(SetupCommands& out, uint8_t quick_react_mode) {
  if (quick_react_mode != 0) {
    out.bytes.push_back(opcode::kQuickReactOn);
    out.notes.emplace_back("Quick React Mode Set");
  } else {
    out.bytes.push_back(opcode::kQuickReactOff);
    out.notes.emplace_back("Quick React Mode NOT Set");
  }
}

void AppendBitRate(std::vector<uint8_t>& bytes, uint32_t bit_rate) {
  uint32_t divisor = 10'000'000;
  for (size_t i = 0; i < opcode::kDigit.size(); ++i, divisor /= 10) {
    // The leading digit is not reduced: a rate above the limit shows as a wrong command.
    const uint32_t digit = i == 0 ? bit_rate / divisor : bit_rate / divisor % 10;
    bytes.push_back(static_cast<uint8_t>(opcode::kDigit[i] + digit));
  }
}

void AppendInputCode(SetupCommands& out, int32_t input, bool has_rnrz9) {
  if (input >= 0 && input <= 15) {
    out.bytes.push_back(static_cast<uint8_t>(opcode::kInputCodeLow + input));
  } else if (input >= 16 && input <= 29) {
    out.bytes.push_back(static_cast<uint8_t>(opcode::kInputCodeHigh + (input - 16)));
  } else if (input == 30 && has_rnrz9) {
    out.bytes.insert(out.bytes.end(), {opcode::kRnrz9Next, opcode::kInputRnrz9});
    out.notes.emplace_back("RNRZ-9 Input Code Set");
  } else if (input == 31 && has_rnrz9) {
    out.bytes.insert(out.bytes.end(), {opcode::kRnrz9Next, opcode::kInputInvertedRnrz9});
    out.notes.emplace_back("INV_RNRZ-9 Input Code Set");
  }
}

void AppendOutputCode(SetupCommands& out, int32_t output, bool has_rnrz9) {
  if (output >= 0 && output <= 15) {
    out.bytes.push_back(static_cast<uint8_t>(opcode::kOutputCodeLow + output));
  } else if (output == 16) {
    out.bytes.push_back(opcode::kOutputCode16);
  } else if (output == 17) {
    out.bytes.push_back(opcode::kOutputCode17);
  } else if (output == 18 && has_rnrz9) {
    out.bytes.insert(out.bytes.end(), {opcode::kRnrz9Next, opcode::kOutputCode17});
    out.notes.emplace_back("RNRZ-9 Output Code Set");
  }
}

void AppendSpecialSetup(std::vector<uint8_t>& bytes, const BitsyncSetup& setup) {
  bytes.push_back(setup.StartupAutoTestEnabled != 0 ? opcode::kStartupAutoTestOn
                                                    : opcode::kStartupAutoTestOff);
  bytes.push_back(setup.Pattern15Bit != 0 ? opcode::kPattern15Bit : opcode::kPattern11Bit);
  bytes.push_back(opcode::kOutputsEnabled);
  if (setup.NrzlDcOutputDisabledAtSymbolUnlock != 0) {
    bytes.push_back(opcode::kNrzlDcOffAtSymbolUnlock);
  }
  if (setup.NrzlDcOutputDisabledAtEsNo5Db != 0) bytes.push_back(opcode::kNrzlDcOffAtEsNo5Db);
  if (setup.PcmEncoderOutputDisabledAtSymbolUnlock != 0) {
    bytes.push_back(opcode::kPcmEncoderOffAtSymbolUnlock);
  }
  if (setup.PcmEncoderOutputDisabledAtEsNo5Db != 0) {
    bytes.push_back(opcode::kPcmEncoderOffAtEsNo5Db);
  }
  if (setup.BerTestingEnabled == 0) {
    bytes.push_back(opcode::kBerTestOff);
  } else {
    bytes.push_back(setup.ExtBerMode != 0 ? opcode::kBerTestExternal : opcode::kBerTestInternal);
  }
  bytes.push_back(setup.KnownErrorMode != 0 ? opcode::kKnownErrorsOn : opcode::kKnownErrorsOff);
}

}  // namespace

SetupCommands EncodeSetup(const BitsyncSetup& setup, const ModuleFacts& facts,
                          uint8_t quick_react_mode) {
  const bool has_rnrz9 = facts.firmware_version_low >= kFirmwareWithRnrz9;
  SetupCommands out;
  out.bytes.push_back(opcode::kClockPhase0);
  if (has_rnrz9) out.bytes.push_back(opcode::kRnrz9Capable);
  AppendBitRate(out.bytes, setup.BitRate);
  const int32_t loop = setup.LoopBandwidth;
  out.bytes.push_back(loop >= 0 && loop < 8 ? opcode::kLoopBandwidth[loop]
                                            : opcode::kLoopBandwidthDefault);
  AppendInputCode(out, setup.InputCode, has_rnrz9);
  AppendOutputCode(out, setup.OutputCode, has_rnrz9);
  AppendQuickReact(out, quick_react_mode);
  out.bytes.push_back(setup.BitDecisionDetector != 0 ? opcode::kDetectorBitDecision
                                                     : opcode::kDetectorNormal);
  if (setup.Do90DegClkOut != 0) {
    out.bytes.push_back(opcode::kClockPhase90);
    out.notes.emplace_back("90 Deg Output Clock Set");
  } else {
    out.bytes.push_back(opcode::kClockPhase0);
    out.notes.emplace_back("0 Deg Output Clock Set");
  }
  if (facts.special_commands) AppendSpecialSetup(out.bytes, setup);
  out.bytes.push_back(opcode::kEndOfCommands);
  return out;
}

SetupCommands EncodeQuickReact(uint8_t quick_react_mode) {
  SetupCommands out;
  AppendQuickReact(out, quick_react_mode);
  out.bytes.push_back(opcode::kEndOfCommands);
  return out;
}

std::vector<uint8_t> EncodeFspEnable(int32_t f1, int32_t f2, int32_t f3, int32_t f4, int32_t f5) {
  // The module wants F4 normalised so that its bit 31 is set; F5 moves with it.
  auto scaled4 = static_cast<uint32_t>(f4);
  auto scaled5 = static_cast<uint32_t>(f5);
  if (scaled4 != 0) {
    const int shift = std::countl_zero(scaled4);
    scaled4 <<= shift;
    scaled5 <<= shift;
  }
  const auto byte = [](uint32_t value, int shift) { return static_cast<uint8_t>(value >> shift); };
  return {opcode::kFspEnable,
          byte(scaled4, 24),
          byte(scaled4, 16),
          byte(scaled4, 8),
          byte(scaled4, 0),
          byte(scaled5, 24),
          byte(scaled5, 16),
          byte(scaled5, 8),
          byte(scaled5, 0),
          byte(static_cast<uint32_t>(f2), 0),
          byte(static_cast<uint32_t>(f3), 0),
          byte(static_cast<uint32_t>(f1), 8),
          byte(static_cast<uint32_t>(f1), 0),
          opcode::kEndOfCommands};
}

std::vector<uint8_t> EncodeFspDisable() {
  return {opcode::kFspDisable, opcode::kEndOfCommands};
}

}  // namespace bitsync
