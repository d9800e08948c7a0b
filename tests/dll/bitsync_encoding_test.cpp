// The setup encoder on golden command bytes: every table row, the firmware and special-command
// gates, the code selections it reports for the log, quick react and FSP.

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "dll/BitsyncSetupEncoder.h"
#include "tests/dll/bitsync_test_support.h"

namespace bitsync_test {
namespace {

using Bytes = std::vector<uint8_t>;

struct EncodingCase {
  const char* name;
  std::function<void(BitsyncSetup&)> change;
  uint32_t firmware_low;
  bool special_commands;
  uint8_t quick_react;
  Bytes expected;
};

class EncodingTest : public ::testing::TestWithParam<EncodingCase> {};

TEST_P(EncodingTest, SetupBecomesTheCommandList) {
  BitsyncSetup setup = BaseSetup();
  GetParam().change(setup);
  const bitsync::ModuleFacts facts{GetParam().firmware_low, GetParam().special_commands};
  EXPECT_EQ(bitsync::EncodeSetup(setup, facts, GetParam().quick_react).bytes, GetParam().expected);
}

const auto kUnchanged = [](BitsyncSetup&) {};

INSTANTIATE_TEST_SUITE_P(
    Table, EncodingTest,
    ::testing::Values(
        // A module without special commands and firmware below 146: 16 commands.
        EncodingCase{"Plain1024000", kUnchanged, 145, false, 0,
                     Bytes{0x00, 0x90, 0x11, 0x20, 0x32, 0x44, 0x50, 0x60, 0x70, 0x82, 0xA0,
                           0xB0, 0x04, 0x08, 0x00, 0x0A}},
        EncodingCase{"Rate20000000", [](BitsyncSetup& s) { s.BitRate = 20'000'000; }, 0, false,
                     0,
                     Bytes{0x00, 0x92, 0x10, 0x20, 0x30, 0x40, 0x50, 0x60, 0x70, 0x82, 0xA0,
                           0xB0, 0x04, 0x08, 0x00, 0x0A}},
        EncodingCase{"Rate99999999", [](BitsyncSetup& s) { s.BitRate = 99'999'999; }, 0, false,
                     0,
                     Bytes{0x00, 0x99, 0x19, 0x29, 0x39, 0x49, 0x59, 0x69, 0x79, 0x82, 0xA0,
                           0xB0, 0x04, 0x08, 0x00, 0x0A}},
        EncodingCase{"Rnrz9NeedsFirmware146",
                     [](BitsyncSetup& s) {
                       s.InputCode = 30;
                       s.OutputCode = 18;
                     },
                     145, false, 0,
                     Bytes{0x00, 0x90, 0x11, 0x20, 0x32, 0x44, 0x50, 0x60, 0x70, 0x82, 0x04,
                           0x08, 0x00, 0x0A}},
        EncodingCase{"Rnrz9Pairs",
                     [](BitsyncSetup& s) {
                       s.InputCode = 30;
                       s.OutputCode = 18;
                     },
                     146, false, 0,
                     Bytes{0x00, 0x02, 0x90, 0x11, 0x20, 0x32, 0x44, 0x50, 0x60, 0x70, 0x82,
                           0x07, 0xD1, 0x07, 0xDF, 0x04, 0x08, 0x00, 0x0A}},
        EncodingCase{"InvertedRnrz9",
                     [](BitsyncSetup& s) {
                       s.InputCode = 31;
                       s.OutputCode = 17;
                     },
                     146, false, 0,
                     Bytes{0x00, 0x02, 0x90, 0x11, 0x20, 0x32, 0x44, 0x50, 0x60, 0x70, 0x82,
                           0x07, 0xDD, 0xDF, 0x04, 0x08, 0x00, 0x0A}},
        EncodingCase{"UpperCodeRows",
                     [](BitsyncSetup& s) {
                       s.InputCode = 29;
                       s.OutputCode = 16;
                       s.LoopBandwidth = 7;
                     },
                     0, false, 0,
                     Bytes{0x00, 0x90, 0x11, 0x20, 0x32, 0x44, 0x50, 0x60, 0x70, 0x8D, 0xDD,
                           0xDE, 0x04, 0x08, 0x00, 0x0A}},
        EncodingCase{"OutOfTableValues",
                     [](BitsyncSetup& s) {
                       s.InputCode = 32;
                       s.OutputCode = -1;
                       s.LoopBandwidth = 8;
                     },
                     0, false, 0,
                     Bytes{0x00, 0x90, 0x11, 0x20, 0x32, 0x44, 0x50, 0x60, 0x70, 0x82, 0x04,
                           0x08, 0x00, 0x0A}},
        EncodingCase{"QuickReactDetectorAnd90Degrees",
                     [](BitsyncSetup& s) {
                       s.BitDecisionDetector = 1;
                       s.Do90DegClkOut = 1;
                       s.InputCode = 15;
                       s.OutputCode = 15;
                       s.LoopBandwidth = 0;
                     },
                     0, false, 1,
                     Bytes{0x00, 0x90, 0x11, 0x20, 0x32, 0x44, 0x50, 0x60, 0x70, 0x8B, 0xAF,
                           0xBF, 0x0E, 0x09, 0x01, 0x0A}},
        EncodingCase{"SpecialCommandsBerOff",
                     [](BitsyncSetup& s) { s.ExtBerMode = 1; }, 146, true, 0,
                     Bytes{0x00, 0x02, 0x90, 0x11, 0x20, 0x32, 0x44, 0x50, 0x60, 0x70, 0x82,
                           0xA0, 0xB0, 0x04, 0x08, 0x00, 0xC0, 0xC2, 0xC8, 0xCD, 0xCB, 0x0A}},
        EncodingCase{"SpecialCommandsExternalBer",
                     [](BitsyncSetup& s) {
                       s.BerTestingEnabled = 1;
                       s.ExtBerMode = 1;
                       s.KnownErrorMode = 1;
                     },
                     146, true, 0,
                     Bytes{0x00, 0x02, 0x90, 0x11, 0x20, 0x32, 0x44, 0x50, 0x60, 0x70, 0x82,
                           0xA0, 0xB0, 0x04, 0x08, 0x00, 0xC0, 0xC2, 0xC8, 0xCA, 0xCC, 0x0A}},
        // Every flag set: the longest setup, 28 commands.
        EncodingCase{"SpecialCommandsEverything",
                     [](BitsyncSetup& s) {
                       s.InputCode = 30;
                       s.OutputCode = 18;
                       s.StartupAutoTestEnabled = 1;
                       s.Pattern15Bit = 1;
                       s.NrzlDcOutputDisabledAtSymbolUnlock = 1;
                       s.NrzlDcOutputDisabledAtEsNo5Db = 1;
                       s.PcmEncoderOutputDisabledAtSymbolUnlock = 1;
                       s.PcmEncoderOutputDisabledAtEsNo5Db = 1;
                       s.BerTestingEnabled = 1;
                     },
                     146, true, 1,
                     Bytes{0x00, 0x02, 0x90, 0x11, 0x20, 0x32, 0x44, 0x50, 0x60, 0x70,
                           0x82, 0x07, 0xD1, 0x07, 0xDF, 0x0E, 0x08, 0x00, 0xC1, 0xC3,
                           0xC8, 0xC4, 0xC5, 0xC6, 0xC7, 0xCE, 0xCB, 0x0A}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(EncodingNotesTest, CodeSelectionsAreReportedInTheirOrder) {
  BitsyncSetup setup = BaseSetup();
  setup.InputCode = 31;
  setup.OutputCode = 18;
  setup.Do90DegClkOut = 1;
  EXPECT_EQ(bitsync::EncodeSetup(setup, {146, false}, 1).notes,
            (std::vector<std::string>{"INV_RNRZ-9 Input Code Set", "RNRZ-9 Output Code Set",
                                      "Quick React Mode Set", "90 Deg Output Clock Set"}));
  // Without the firmware for it, RNRZ-9 is neither sent nor reported.
  EXPECT_EQ(bitsync::EncodeSetup(setup, {145, false}, 0).notes,
            (std::vector<std::string>{"Quick React Mode NOT Set", "90 Deg Output Clock Set"}));
}

TEST(QuickReactEncodingTest, TheModeAndTheEndMarkOnly) {
  EXPECT_EQ(bitsync::EncodeQuickReact(1).bytes, (Bytes{0x0E, 0x0A}));
  EXPECT_EQ(bitsync::EncodeQuickReact(0x80).bytes, (Bytes{0x0E, 0x0A}));
  EXPECT_EQ(bitsync::EncodeQuickReact(0).bytes, (Bytes{0x04, 0x0A}));
}

struct FspScaleCase {
  int32_t f4, f5;
  Bytes f4_bytes, f5_bytes;
};

class FspScaleTest : public ::testing::TestWithParam<FspScaleCase> {};

TEST_P(FspScaleTest, FourteenCommandsWithF4Normalised) {
  const FspScaleCase& c = GetParam();
  Bytes expected = {0x05};
  expected.insert(expected.end(), c.f4_bytes.begin(), c.f4_bytes.end());
  expected.insert(expected.end(), c.f5_bytes.begin(), c.f5_bytes.end());
  expected.insert(expected.end(), {64, 14, 0x12, 0x34, 0x0A});
  EXPECT_EQ(bitsync::EncodeFspEnable(0x1234, 64, 14, c.f4, c.f5), expected);
}

INSTANTIATE_TEST_SUITE_P(Table, FspScaleTest,
                         ::testing::Values(
                             // 31 leading zeros: F5's bit 1 is shifted out.
                             FspScaleCase{1, 3, {0x80, 0, 0, 0}, {0x80, 0, 0, 0}},
                             FspScaleCase{0, 0x12345678, {0, 0, 0, 0}, {0x12, 0x34, 0x56, 0x78}},
                             FspScaleCase{
                                 0x00010000, 0x101, {0x80, 0, 0, 0}, {0x00, 0x80, 0x80, 0x00}},
                             FspScaleCase{-1, 5, {0xFF, 0xFF, 0xFF, 0xFF}, {0, 0, 0, 5}}));

TEST(FspDisableEncodingTest, TwoCommands) {
  EXPECT_EQ(bitsync::EncodeFspDisable(), (Bytes{0x06, 0x0A}));
}

}  // namespace
}  // namespace bitsync_test
