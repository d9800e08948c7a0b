#pragma once
// The bitsync module's setup command language: a setup record and what the module can take in,
// the command bytes of one setup transaction out. Pure, so that every byte is tested directly.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "zorv/BitsyncSetup.h"

namespace bitsync {

// Setup opcodes.
namespace opcode {
inline constexpr uint8_t kClockPhase0 = 0x00;  // also opens a setup
inline constexpr uint8_t kClockPhase90 = 0x01;
inline constexpr uint8_t kRnrz9Capable = 0x02;  // firmware 146 and later
inline constexpr uint8_t kQuickReactOff = 0x04;
inline constexpr uint8_t kFspEnable = 0x05;
inline constexpr uint8_t kFspDisable = 0x06;
inline constexpr uint8_t kRnrz9Next = 0x07;  // the next code byte means its RNRZ-9 variant
inline constexpr uint8_t kDetectorNormal = 0x08;
inline constexpr uint8_t kDetectorBitDecision = 0x09;
inline constexpr uint8_t kEndOfCommands = 0x0A;
inline constexpr uint8_t kQuickReactOn = 0x0E;
// Digit d of the bit rate at position p (0 the most significant) is kDigit[p] + d.
inline constexpr std::array<uint8_t, 8> kDigit = {0x90, 0x10, 0x20, 0x30, 0x40, 0x50, 0x60, 0x70};
// Loop bandwidth per row of the eight-entry table; the same codes read back.
inline constexpr std::array<uint8_t, 8> kLoopBandwidth = {0x8B, 0x88, 0x85, 0x82,
                                                          0x81, 0x8F, 0x8E, 0x8D};
inline constexpr uint8_t kLoopBandwidthDefault = 0x82;
inline constexpr uint8_t kInputCodeLow = 0xA0;   // input codes 0 to 15
inline constexpr uint8_t kInputCodeHigh = 0xD0;  // input codes 16 to 29
inline constexpr uint8_t kInputRnrz9 = 0xD1;     // after kRnrz9Next
inline constexpr uint8_t kInputInvertedRnrz9 = 0xDD;
inline constexpr uint8_t kOutputCodeLow = 0xB0;  // output codes 0 to 15
inline constexpr uint8_t kOutputCode16 = 0xDE;
inline constexpr uint8_t kOutputCode17 = 0xDF;  // also RNRZ-9 after kRnrz9Next
// Special setup commands, for modules that take special commands.
inline constexpr uint8_t kStartupAutoTestOff = 0xC0;
inline constexpr uint8_t kStartupAutoTestOn = 0xC1;
inline constexpr uint8_t kPattern11Bit = 0xC2;
inline constexpr uint8_t kPattern15Bit = 0xC3;
inline constexpr uint8_t kNrzlDcOffAtSymbolUnlock = 0xC4;
inline constexpr uint8_t kNrzlDcOffAtEsNo5Db = 0xC5;
inline constexpr uint8_t kPcmEncoderOffAtSymbolUnlock = 0xC6;
inline constexpr uint8_t kPcmEncoderOffAtEsNo5Db = 0xC7;
inline constexpr uint8_t kOutputsEnabled = 0xC8;  // clears the four output disables
inline constexpr uint8_t kBerTestExternal = 0xCA;
inline constexpr uint8_t kKnownErrorsOff = 0xCB;
inline constexpr uint8_t kKnownErrorsOn = 0xCC;
inline constexpr uint8_t kBerTestOff = 0xCD;
inline constexpr uint8_t kBerTestInternal = 0xCE;
}  // namespace opcode

// The first firmware version (configuration byte 5) that takes RNRZ-9.
inline constexpr uint32_t kFirmwareWithRnrz9 = 146;
// The eight-digit bit rate encoding tops out here.
inline constexpr uint32_t kMaxBitRate = 99'999'999;

// What the module takes, as its configuration reply said.
struct ModuleFacts {
  uint32_t firmware_version_low = 0;
  bool special_commands = false;
};

struct SetupCommands {
  std::vector<uint8_t> bytes;
  // The code selections made, for the log, in the order they were encoded.
  std::vector<std::string> notes;
};

// A whole setup: clock phase, bit rate digits, loop bandwidth, codes, quick react, detector,
// output clock and, where the module takes them, the special setup commands. Codes outside
// the tables (and RNRZ-9 on older firmware) send nothing for that item.
SetupCommands EncodeSetup(const BitsyncSetup& setup, const ModuleFacts& facts,
                          uint8_t quick_react_mode);
// The quick react mode alone.
SetupCommands EncodeQuickReact(uint8_t quick_react_mode);
// FSP signal quality mode on with parameters F1 to F5 (checked by the caller), and off.
std::vector<uint8_t> EncodeFspEnable(int32_t f1, int32_t f2, int32_t f3, int32_t f4, int32_t f5);
std::vector<uint8_t> EncodeFspDisable();

}  // namespace bitsync
