#pragma once
// The bitsync module's special status replies, decoded. A reply as the library stores it:
// byte 0 the command, byte 1 the reply length, then the data. Pure, so that each decoder is
// tested on golden bytes.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace bitsync {

// Special status commands.
namespace status_command {
inline constexpr uint8_t kOperationalStatus = 0xE0;
inline constexpr uint8_t kLinkAnalysisBitCount = 0xE2;
inline constexpr uint8_t kLinkAnalysisErrorCount = 0xE3;
inline constexpr uint8_t kLinkAnalysisStatus = 0xE4;
inline constexpr uint8_t kEstimatedEsNo = 0xE5;
inline constexpr uint8_t kSignalVoltage = 0xE6;
inline constexpr uint8_t kOffsetFrequency = 0xE7;
inline constexpr uint8_t kBuiltInTest = 0xE8;
inline constexpr uint8_t kProgrammedBitRate = 0xE9;
inline constexpr uint8_t kProgrammedInputCode = 0xEA;
inline constexpr uint8_t kProgrammedOutputCode = 0xEB;
inline constexpr uint8_t kProgrammedLoopBandwidth = 0xEC;
inline constexpr uint8_t kConfiguration = 0xED;
}  // namespace status_command

// Reply sizes the library reads (bytes 0 and 1 included).
namespace reply_size {
inline constexpr int kOperationalStatus = 3;
inline constexpr int kLinkAnalysisBitCount = 6;
inline constexpr int kLinkAnalysisErrorCount = 5;
inline constexpr int kLinkAnalysisStatus = 5;
inline constexpr int kText = 9;
inline constexpr int kEsNoWithFspCount = 11;
inline constexpr int kBuiltInTest = 7;
inline constexpr int kProgrammedBitRate = 10;
inline constexpr int kProgrammedCode = 3;
inline constexpr int kConfiguration = 6;  // command 0xED's data only
}  // namespace reply_size

// Operational status bits (0xE0).
inline constexpr int kOperationalLockedBit = 1;
inline constexpr int kOperationalBerTestBit = 4;
inline constexpr int kOperationalCorrelatorBit = 5;

// The module's configuration reply (0xED).
struct Configuration {
  bool newer_format = false;  // the older modules write '1' or '2' in byte 2
  uint32_t date_code = 0;     // year << 16 | month << 8 | day
  uint32_t firmware_version_high = 0;
  uint32_t firmware_version_low = 0;
  bool option_20mbit = false;
};
Configuration DecodeConfiguration(std::span<const uint8_t, reply_size::kConfiguration> bytes);

std::array<bool, 8> DecodeOperationalStatus(std::span<const uint8_t> reply);
// Lock as the operational status tells it: while the BER test runs, lock also needs the test
// pattern's correlator.
bool OperationalLock(const std::array<bool, 8>& operational);

uint32_t DecodeProgrammedBitRate(std::span<const uint8_t> reply);
// None for a code byte outside the tables.
std::optional<int32_t> DecodeInputCode(uint8_t byte);
std::optional<int32_t> DecodeOutputCode(uint8_t byte);
// The row of the loop bandwidth table; the last row takes every unknown code.
uint8_t DecodeLoopBandwidth(uint8_t byte);

uint32_t DecodeLinkAnalysisBitCount(std::span<const uint8_t> reply);
uint32_t DecodeLinkAnalysisErrorCount(std::span<const uint8_t> reply);
struct LinkAnalysisStatus {
  bool correlator_locked = false;
  bool correlator_history = false;
  bool error_count_overflow = false;
};
LinkAnalysisStatus DecodeLinkAnalysisStatus(std::span<const uint8_t> reply);

// The seven characters from byte 2; a zero byte ends the text early.
std::string DecodeText(std::span<const uint8_t> reply);
// The FSP count that the newer format appends to the Es/No reply in bytes 9 and 10.
uint16_t DecodeFspCount(std::span<const uint8_t, reply_size::kEsNoWithFspCount> reply);

}  // namespace bitsync
