// The special status decoders on golden reply bytes (byte 0 the command, byte 1 the length).

#include <gtest/gtest.h>

#include <array>
#include <optional>
#include <vector>

#include "dll/BitsyncReplies.h"
#include "dll/BitsyncSetupEncoder.h"

namespace bitsync_test {
namespace {

using Bytes = std::vector<uint8_t>;

struct ConfigurationCase {
  const char* name;
  std::array<uint8_t, 6> bytes;
  bitsync::Configuration expected;
};

class ConfigurationReplyTest : public ::testing::TestWithParam<ConfigurationCase> {};

TEST_P(ConfigurationReplyTest, FormatDateFirmwareAndOption) {
  const bitsync::Configuration got = bitsync::DecodeConfiguration(GetParam().bytes);
  const bitsync::Configuration& want = GetParam().expected;
  EXPECT_EQ(got.newer_format, want.newer_format);
  EXPECT_EQ(got.date_code, want.date_code);
  EXPECT_EQ(got.firmware_version_high, want.firmware_version_high);
  EXPECT_EQ(got.firmware_version_low, want.firmware_version_low);
  EXPECT_EQ(got.option_20mbit, want.option_20mbit);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ConfigurationReplyTest,
    ::testing::Values(
        // Byte 2 bit 0 clear: the 20 Mbit option; the date is bytes 3 to 5.
        ConfigurationCase{
            "Newer", {0xED, 0x06, 0x4E, 0x0A, 0x03, 0x92}, {true, 0x0A0392, 0x0A03, 0x92, true}},
        // '2': the older format, its date packed into bytes 3 and 4 (2007-07-13).
        ConfigurationCase{
            "Older", {0xED, 0x06, 0x32, 0xED, 0x97, 0x91}, {false, 0x07070D, 0x97ED, 0x91, true}},
        // '1' is older too, and odd: no 20 Mbit option (2001-03-01).
        ConfigurationCase{"OlderWithout20Mbit",
                          {0xED, 0x06, 0x31, 0x41, 0x83, 0x10},
                          {false, 0x010301, 0x8341, 0x10, false}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(BitRateReplyTest, TheEightDigitCommandsMostSignificantFirst) {
  EXPECT_EQ(bitsync::DecodeProgrammedBitRate(
                Bytes{0xE9, 0x0A, 0x90, 0x11, 0x20, 0x32, 0x44, 0x50, 0x60, 0x70}),
            1'024'000u);
  // Only the low nibble is the digit: the position tags and high bits are dropped.
  EXPECT_EQ(bitsync::DecodeProgrammedBitRate(
                Bytes{0xE9, 0x0A, 0x99, 0x19, 0x29, 0x39, 0x49, 0x59, 0x69, 0x79}),
            99'999'999u);
}

struct CodeCase {
  uint8_t byte;
  std::optional<int32_t> input;
  std::optional<int32_t> output;
};

class CodeReplyTest : public ::testing::TestWithParam<CodeCase> {};

TEST_P(CodeReplyTest, CodeBytesBackToTableRows) {
  EXPECT_EQ(bitsync::DecodeInputCode(GetParam().byte), GetParam().input);
  EXPECT_EQ(bitsync::DecodeOutputCode(GetParam().byte), GetParam().output);
}

INSTANTIATE_TEST_SUITE_P(
    Table, CodeReplyTest,
    ::testing::Values(CodeCase{0xA0, 0, std::nullopt}, CodeCase{0xAF, 15, std::nullopt},
                      CodeCase{0xD0, 16, std::nullopt}, CodeCase{0xDD, 29, std::nullopt},
                      CodeCase{0xB0, std::nullopt, 0}, CodeCase{0xBF, std::nullopt, 15},
                      CodeCase{0xDE, std::nullopt, 16}, CodeCase{0xDF, std::nullopt, 17},
                      CodeCase{0x9F, std::nullopt, std::nullopt},
                      CodeCase{0xC0, std::nullopt, std::nullopt}));

TEST(LoopBandwidthReplyTest, EveryRowReadsBackAndUnknownCodesAreTheLastRow) {
  for (uint8_t row = 0; row < 8; ++row) {
    EXPECT_EQ(bitsync::DecodeLoopBandwidth(bitsync::opcode::kLoopBandwidth[row]), row);
  }
  // Bits 4 to 6 are not part of the code.
  EXPECT_EQ(bitsync::DecodeLoopBandwidth(0xF2), 3);
  EXPECT_EQ(bitsync::DecodeLoopBandwidth(0x80), 7);
}

TEST(LinkAnalysisReplyTest, CountsAndStatusFlags) {
  EXPECT_EQ(bitsync::DecodeLinkAnalysisBitCount(Bytes{0xE2, 0x06, 0x01, 0x02, 0x03, 0x04}),
            0x04030201u);
  // The bit count has 30 significant bits.
  EXPECT_EQ(bitsync::DecodeLinkAnalysisBitCount(Bytes{0xE2, 0x06, 0xFF, 0xFF, 0xFF, 0xFF}),
            0x3FFFFFFFu);
  EXPECT_EQ(bitsync::DecodeLinkAnalysisErrorCount(Bytes{0xE3, 0x05, 0x01, 0x02, 0x03}), 0x030201u);
  const bitsync::LinkAnalysisStatus status =
      bitsync::DecodeLinkAnalysisStatus(Bytes{0xE4, 0x05, 0x01, 0xFE, 0x03});
  EXPECT_TRUE(status.correlator_locked);
  EXPECT_FALSE(status.correlator_history);
  EXPECT_TRUE(status.error_count_overflow);
}

TEST(TextReplyTest, SevenCharactersOrUpToAZeroByte) {
  EXPECT_EQ(bitsync::DecodeText(Bytes{0xE6, 0x09, ' ', ' ', '1', '.', '5', '0', '0'}), "  1.500");
  EXPECT_EQ(bitsync::DecodeText(Bytes{0xE7, 0x09, '1', '2', 0x00, '4', '5', '6', '7'}), "12");
  // The newer Es/No reply goes on with the FSP count, which is no part of the text.
  const std::array<uint8_t, 11> es_no = {0xE5, 0x0B, '1', '2', '.', '3', ' ', 'd', 'B', 0x01, 0x02};
  EXPECT_EQ(bitsync::DecodeText(es_no), "12.3 dB");
  EXPECT_EQ(bitsync::DecodeFspCount(es_no), 0x0102);
}

struct OperationalCase {
  uint8_t byte;
  bool lock;
};

class OperationalStatusReplyTest : public ::testing::TestWithParam<OperationalCase> {};

TEST_P(OperationalStatusReplyTest, LockNeedsTheCorrelatorWhileTheBerTestRuns) {
  const std::array<bool, 8> bits =
      bitsync::DecodeOperationalStatus(Bytes{0xE0, 0x03, GetParam().byte});
  for (int bit = 0; bit < 8; ++bit) EXPECT_EQ(bits[bit], (GetParam().byte >> bit & 1) != 0);
  EXPECT_EQ(bitsync::OperationalLock(bits), GetParam().lock);
}

INSTANTIATE_TEST_SUITE_P(Table, OperationalStatusReplyTest,
                         ::testing::Values(OperationalCase{0x00, false},
                                           OperationalCase{0x03, true},
                                           OperationalCase{0x13, false},
                                           OperationalCase{0x33, true},
                                           OperationalCase{0x31, false}));

}  // namespace
}  // namespace bitsync_test
