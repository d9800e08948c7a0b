#include "dll/BitsyncReplies.h"

#include "dll/BitsyncSetupEncoder.h"

namespace bitsync {
namespace {

constexpr size_t kData = 2;  // the first data byte of a reply

bool Bit(uint8_t value, int bit) {
  return (value >> bit & 1) != 0;
}

uint32_t LittleEndian(std::span<const uint8_t> bytes) {
  uint32_t value = 0;
  for (size_t i = bytes.size(); i-- > 0;) value = value << 8 | bytes[i];
  return value;
}

}  // namespace

Configuration DecodeConfiguration(std::span<const uint8_t, reply_size::kConfiguration> bytes) {
  Configuration out;
  // The older modules write '1' or '2' here and pack their date into bytes 3 and 4.
  const bool older = bytes[2] == '1' || bytes[2] == '2';
  out.newer_format = !older;
  if (older) {
    const uint32_t year = ((bytes[4] >> 4) + (bytes[3] >> 5) - 9) & 0xFF;
    out.date_code = year << 16 | static_cast<uint32_t>(bytes[4] & 0x0F) << 8 | (bytes[3] & 0x1F);
    out.firmware_version_high = static_cast<uint32_t>(bytes[4]) << 8 | bytes[3];
  } else {
    out.date_code =
        static_cast<uint32_t>(bytes[3]) << 16 | static_cast<uint32_t>(bytes[4]) << 8 | bytes[5];
    out.firmware_version_high = static_cast<uint32_t>(bytes[3]) << 8 | bytes[4];
  }
  out.firmware_version_low = bytes[5];
  out.option_20mbit = !Bit(bytes[2], 0);
  return out;
}

std::array<bool, 8> DecodeOperationalStatus(std::span<const uint8_t> reply) {
  std::array<bool, 8> status{};
  for (int bit = 0; bit < 8; ++bit) status[bit] = Bit(reply[kData], bit);
  return status;
}

bool OperationalLock(const std::array<bool, 8>& operational) {
  const bool locked = operational[kOperationalLockedBit];
  return operational[kOperationalBerTestBit] ? locked && operational[kOperationalCorrelatorBit]
                                             : locked;
}

uint32_t DecodeProgrammedBitRate(std::span<const uint8_t> reply) {
  // The reply carries the eight digit commands of the setup, most significant first.
  uint32_t bit_rate = 0;
  uint32_t weight = 10'000'000;
  for (size_t k = 0; k < 8; ++k, weight /= 10) bit_rate += (reply[k + kData] & 0x0Fu) * weight;
  return bit_rate;
}

std::optional<int32_t> DecodeInputCode(uint8_t byte) {
  if (byte >= opcode::kInputCodeLow && byte <= opcode::kInputCodeLow + 15) {
    return byte - opcode::kInputCodeLow;
  }
  if (byte >= opcode::kInputCodeHigh && byte <= opcode::kInputCodeHigh + 13) {
    return byte - opcode::kInputCodeHigh + 16;
  }
  return std::nullopt;
}

std::optional<int32_t> DecodeOutputCode(uint8_t byte) {
  if (byte >= opcode::kOutputCodeLow && byte <= opcode::kOutputCodeLow + 15) {
    return byte - opcode::kOutputCodeLow;
  }
  if (byte == opcode::kOutputCode16) return 16;
  if (byte == opcode::kOutputCode17) return 17;
  return std::nullopt;
}

uint8_t DecodeLoopBandwidth(uint8_t byte) {
  // Bits 4 to 6 are not part of the code.
  const uint8_t code = byte & 0x8F;
  uint8_t row = 0;
  while (row < 7 && opcode::kLoopBandwidth[row] != code) ++row;
  return row;
}

uint32_t DecodeLinkAnalysisBitCount(std::span<const uint8_t> reply) {
  return LittleEndian(reply.subspan(kData, 4)) & 0x3FFFFFFF;
}

uint32_t DecodeLinkAnalysisErrorCount(std::span<const uint8_t> reply) {
  return LittleEndian(reply.subspan(kData, 3));
}

LinkAnalysisStatus DecodeLinkAnalysisStatus(std::span<const uint8_t> reply) {
  return {Bit(reply[kData], 0), Bit(reply[kData + 1], 0), Bit(reply[kData + 2], 0)};
}

std::string DecodeText(std::span<const uint8_t> reply) {
  std::string text;
  for (size_t k = kData; k < kData + 7 && reply[k] != 0; ++k) text += static_cast<char>(reply[k]);
  return text;
}

uint16_t DecodeFspCount(std::span<const uint8_t, reply_size::kEsNoWithFspCount> reply) {
  return static_cast<uint16_t>(reply[9] << 8 | reply[10]);
}

}  // namespace bitsync
