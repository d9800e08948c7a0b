// The setup command language, what the module keeps of it, and the special status replies.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bitsync_test_driver.h"

namespace bitsync_test {
namespace {

using emulator::BerMode;
using emulator::BitsyncProgramming;
using emulator::CardScenario;

std::vector<uint8_t> Concat(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

TEST(BitsyncSetupTest, CompleteSetupIsKeptAndReadBackWithoutViolations) {
  BitsyncDriver driver;
  driver.SelectSource(5);
  // The longest setup a host sends: 1,024,000 bit/s, loop bandwidth "0.5", INV_RNRZ9 in,
  // RNRZ9 out, quick react, detector, 90 degree clock, every special setup command on.
  const std::vector<uint8_t> setup = Concat(Concat({0x00, 0x02}, RateDigits(1'024'000)),
                                            {0x85, 0x07, 0xDD, 0x07, 0xDF, 0x0E, 0x09, 0x01, 0xC1,
                                             0xC3, 0xC8, 0xC4, 0xC5, 0xC6, 0xC7, 0xCA, 0xCC, kEnd});
  ASSERT_EQ(setup.size(), 28u);
  driver.Send(setup);

  const BitsyncProgramming p = driver.module.Programming();
  EXPECT_EQ(p.bit_rate, 1'024'000u);
  EXPECT_EQ(p.loop_bandwidth, 2);
  EXPECT_EQ(p.input_code, 31);
  EXPECT_EQ(p.output_code, 18);
  EXPECT_TRUE(p.extended_commands);
  EXPECT_TRUE(p.quick_react_mode);
  EXPECT_TRUE(p.bit_decision_detector);
  EXPECT_TRUE(p.do_90_deg_clk_out);
  EXPECT_TRUE(p.startup_auto_test_enabled);
  EXPECT_TRUE(p.pattern_15_bit);
  EXPECT_TRUE(p.nrzl_dc_output_disabled_at_symbol_unlock);
  EXPECT_TRUE(p.nrzl_dc_output_disabled_at_es_no_5db);
  EXPECT_TRUE(p.pcm_encoder_output_disabled_at_symbol_unlock);
  EXPECT_TRUE(p.pcm_encoder_output_disabled_at_es_no_5db);
  EXPECT_EQ(p.ber_mode, BerMode::kExternal);
  EXPECT_TRUE(p.known_error_mode);
  EXPECT_EQ(p.setups_completed, 1);
  EXPECT_EQ(driver.module.LastTransaction(), setup);
  EXPECT_EQ(driver.module.SelectedSource(), 5);

  EXPECT_EQ(driver.Request(0xE9),
            Concat({0xE9, 10}, {0x90, 0x11, 0x20, 0x32, 0x44, 0x50, 0x60, 0x70}));
  EXPECT_EQ(driver.Request(0xEA), (std::vector<uint8_t>{0xEA, 3, 0xDD}));
  EXPECT_EQ(driver.Request(0xEB), (std::vector<uint8_t>{0xEB, 3, 0xDF}));
  EXPECT_EQ(driver.Request(0xEC), (std::vector<uint8_t>{0xEC, 3, 0x85}));
  EXPECT_EQ(driver.module.Violations().Total(), 0);
}

TEST(BitsyncSetupTest, LaterSetupUndoesWhatTheEarlierOneSet) {
  BitsyncDriver driver;
  driver.Send(
      SetupCommands(1'024'000, 0x8B, {0xA0, 0xB0, 0x0E, 0x09, 0x01, 0xC1, 0xC4, 0xCE, 0xCC}));
  driver.Send(
      SetupCommands(20'000'000, 0x8D, {0xAF, 0xBF, 0x04, 0x08, 0x00, 0xC0, 0xC8, 0xCD, 0xCB}));
  const BitsyncProgramming p = driver.module.Programming();
  EXPECT_EQ(p.bit_rate, 20'000'000u);
  EXPECT_EQ(p.loop_bandwidth, 7);
  EXPECT_EQ(p.input_code, 15);
  EXPECT_EQ(p.output_code, 15);
  EXPECT_FALSE(p.quick_react_mode);
  EXPECT_FALSE(p.bit_decision_detector);
  EXPECT_FALSE(p.do_90_deg_clk_out);
  EXPECT_FALSE(p.startup_auto_test_enabled);
  EXPECT_FALSE(p.nrzl_dc_output_disabled_at_symbol_unlock);
  EXPECT_EQ(p.ber_mode, BerMode::kOff);
  EXPECT_FALSE(p.known_error_mode);
  EXPECT_EQ(p.setups_completed, 2);
  EXPECT_EQ(driver.module.Violations().Total(), 0);
}

// One code or bandwidth command inside a setup, and the table row the module keeps.
struct CodeCase {
  std::vector<uint8_t> commands;
  int BitsyncProgramming::*field;
  int row;
  uint8_t reply_command;
  uint8_t reply_byte;  // what the read-back request answers
};

class BitsyncCodeTest : public ::testing::TestWithParam<CodeCase> {};

TEST_P(BitsyncCodeTest, CodeCommandSetsItsRowAndReadsBack) {
  BitsyncDriver driver;
  driver.Send(Concat(Concat({0x00}, GetParam().commands), {kEnd}));
  EXPECT_EQ(driver.module.Programming().*GetParam().field, GetParam().row);
  EXPECT_EQ(driver.Request(GetParam().reply_command),
            (std::vector<uint8_t>{GetParam().reply_command, 3, GetParam().reply_byte}));
  EXPECT_EQ(driver.module.Violations().Total(), 0);
}

constexpr auto kInput = &BitsyncProgramming::input_code;
constexpr auto kOutput = &BitsyncProgramming::output_code;
constexpr auto kBandwidth = &BitsyncProgramming::loop_bandwidth;

INSTANTIATE_TEST_SUITE_P(
    Codes, BitsyncCodeTest,
    ::testing::Values(
        CodeCase{{0xA0}, kInput, 0, 0xEA, 0xA0}, CodeCase{{0xAF}, kInput, 15, 0xEA, 0xAF},
        CodeCase{{0xD0}, kInput, 16, 0xEA, 0xD0}, CodeCase{{0xDD}, kInput, 29, 0xEA, 0xDD},
        CodeCase{{0x07, 0xD1}, kInput, 30, 0xEA, 0xD1},
        CodeCase{{0x07, 0xDD}, kInput, 31, 0xEA, 0xDD}, CodeCase{{0xB0}, kOutput, 0, 0xEB, 0xB0},
        CodeCase{{0xBF}, kOutput, 15, 0xEB, 0xBF}, CodeCase{{0xDE}, kOutput, 16, 0xEB, 0xDE},
        CodeCase{{0xDF}, kOutput, 17, 0xEB, 0xDF}, CodeCase{{0x07, 0xDF}, kOutput, 18, 0xEB, 0xDF},
        CodeCase{{0x8B}, kBandwidth, 0, 0xEC, 0x8B}, CodeCase{{0x88}, kBandwidth, 1, 0xEC, 0x88},
        CodeCase{{0x85}, kBandwidth, 2, 0xEC, 0x85}, CodeCase{{0x82}, kBandwidth, 3, 0xEC, 0x82},
        CodeCase{{0x81}, kBandwidth, 4, 0xEC, 0x81}, CodeCase{{0x8F}, kBandwidth, 5, 0xEC, 0x8F},
        CodeCase{{0x8E}, kBandwidth, 6, 0xEC, 0x8E}, CodeCase{{0x8D}, kBandwidth, 7, 0xEC, 0x8D}));

class BitsyncBitRateTest : public ::testing::TestWithParam<uint32_t> {};

TEST_P(BitsyncBitRateTest, EightDigitsMakeTheRate) {
  BitsyncDriver driver;
  driver.Send(SetupCommands(GetParam(), 0x82));
  EXPECT_EQ(driver.module.Programming().bit_rate, GetParam());
  EXPECT_EQ(driver.Request(0xE9), Concat({0xE9, 10}, RateDigits(GetParam())));
}

INSTANTIATE_TEST_SUITE_P(Rates, BitsyncBitRateTest,
                         ::testing::Values(1'024'000u, 20'000'000u, 99'999'999u, 7u));

TEST(BitsyncSetupTest, QuickReactTransactionChangesOnlyQuickReact) {
  BitsyncDriver driver;
  driver.Send(SetupCommands(1'024'000, 0x85, {0x0E}));
  driver.Send({0x04, kEnd});
  BitsyncProgramming p = driver.module.Programming();
  EXPECT_FALSE(p.quick_react_mode);
  EXPECT_EQ(p.bit_rate, 1'024'000u);
  EXPECT_EQ(p.setups_completed, 1);
  driver.Send({0x0E, kEnd});
  EXPECT_TRUE(driver.module.Programming().quick_react_mode);
  EXPECT_EQ(driver.module.LastTransaction(), (std::vector<uint8_t>{0x0E, kEnd}));
  EXPECT_EQ(driver.module.Violations().Total(), 0);
}

TEST(BitsyncFspTest, EnableKeepsTheTwelveParametersAndDisableEndsIt) {
  BitsyncDriver driver;
  const std::vector<uint8_t> enable = {0x05, 0x80, 0,  0,    0, 0x12, 0x34,
                                       0x56, 0x78, 24, 0x03, 0, 200,  kEnd};
  driver.Send(enable);
  BitsyncProgramming p = driver.module.Programming();
  EXPECT_TRUE(p.fsp_enabled);
  EXPECT_EQ(p.fsp_parameters,
            (std::array<uint8_t, 12>{0x80, 0, 0, 0, 0x12, 0x34, 0x56, 0x78, 24, 0x03, 0, 200}));
  EXPECT_EQ(driver.module.LastTransaction(), enable);
  driver.Send({0x06, kEnd});
  EXPECT_FALSE(driver.module.Programming().fsp_enabled);
  EXPECT_EQ(driver.module.Violations().Total(), 0);
}

TEST(BitsyncKeptStateTest, APoweredModuleTakesUpWhatItWasProgrammedWithAndIsLockedAtOnce) {
  BitsyncDriver before;
  before.SelectSource(1);
  const std::vector<uint8_t> setup =
      Concat(Concat({0x00, 0x02}, RateDigits(1'024'000)),
             {0x85, 0x07, 0xD1, 0xB3, 0x09, 0xC8, 0xC5, 0xCE, 0xCC, kEnd});
  before.Send(setup);
  before.Send({0x04, kEnd});  // quick react off after the setup
  before.Send({0x05, 0x80, 0, 0, 0, 0x12, 0x34, 0x56, 0x78, 24, 0x03, 0, 200, kEnd});
  const emulator::BitsyncKeptState kept = before.module.Kept();
  EXPECT_EQ(kept.setup, setup);
  EXPECT_FALSE(kept.quick_react_mode);
  ASSERT_TRUE(kept.fsp_parameters);

  BitsyncDriver after;
  after.module.Restore(kept);

  const BitsyncProgramming was = before.module.Programming();
  const BitsyncProgramming is = after.module.Programming();
  EXPECT_EQ(is.bit_rate, was.bit_rate);
  EXPECT_EQ(is.loop_bandwidth, was.loop_bandwidth);
  EXPECT_EQ(is.input_code, 30);
  EXPECT_EQ(is.output_code, was.output_code);
  EXPECT_EQ(is.bit_decision_detector, was.bit_decision_detector);
  EXPECT_EQ(is.nrzl_dc_output_disabled_at_es_no_5db, true);
  EXPECT_EQ(is.ber_mode, BerMode::kInternal);
  EXPECT_TRUE(is.known_error_mode);
  EXPECT_FALSE(is.quick_react_mode);
  EXPECT_EQ(is.fsp_parameters, was.fsp_parameters);
  EXPECT_TRUE(is.fsp_enabled);
  EXPECT_EQ(after.module.SelectedSource(), 1);
  EXPECT_EQ(after.module.Kept(), kept);
  // The card was on the signal all along.
  EXPECT_TRUE(after.Status() & BitsyncModule::kLockBit);
  EXPECT_EQ(after.Request(0xE9),
            Concat({0xE9, 10}, {0x90, 0x11, 0x20, 0x32, 0x44, 0x50, 0x60, 0x70}));
  EXPECT_EQ(after.module.Violations().Total(), 0);
}

TEST(BitsyncKeptStateTest, AModuleNeverProgrammedKeepsNothingButItsControlRegister) {
  BitsyncDriver driver;
  driver.SelectSource(6);
  const emulator::BitsyncKeptState kept = driver.module.Kept();
  EXPECT_TRUE(kept.setup.empty());
  EXPECT_FALSE(kept.fsp_parameters);

  BitsyncDriver after;
  after.module.Restore(kept);
  EXPECT_EQ(after.module.SelectedSource(), 6);
  EXPECT_EQ(after.module.Programming().bit_rate, 0u);
  EXPECT_EQ(after.module.Programming().setups_completed, 0);
}

// Reply lengths, counted with the command and length bytes.
struct ReplyCase {
  uint8_t command;
  size_t length;
};

class BitsyncReplyLengthTest : public ::testing::TestWithParam<std::tuple<ReplyCase, char>> {};

TEST_P(BitsyncReplyLengthTest, ReplyStartsWithCommandAndLength) {
  const auto [reply_case, format] = GetParam();
  CardScenario card;
  card.configuration[2] = static_cast<uint8_t>(format);
  BitsyncDriver driver(card);
  const std::vector<uint8_t> reply = driver.Request(reply_case.command);
  // The Es/No reply carries the frame sync count only in the newer configuration format.
  const size_t expected = reply_case.command == 0xE5 && format == 'N' ? 11 : reply_case.length;
  ASSERT_EQ(reply.size(), expected);
  EXPECT_EQ(reply[0], reply_case.command);
  EXPECT_EQ(reply[1], expected);
  EXPECT_EQ(driver.module.Violations().Total(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Commands, BitsyncReplyLengthTest,
    ::testing::Combine(::testing::Values(ReplyCase{0xE0, 3}, ReplyCase{0xE2, 6}, ReplyCase{0xE3, 5},
                                         ReplyCase{0xE4, 5}, ReplyCase{0xE5, 9}, ReplyCase{0xE6, 9},
                                         ReplyCase{0xE7, 9}, ReplyCase{0xE8, 7},
                                         ReplyCase{0xE9, 10}, ReplyCase{0xEA, 3},
                                         ReplyCase{0xEB, 3}, ReplyCase{0xEC, 3},
                                         ReplyCase{0xED, 6}),
                       ::testing::Values('N', '1', '2')));

TEST(BitsyncReplyTest, ConfigurationReplyCarriesTheScenarioBytes) {
  CardScenario card;
  card.configuration = {0x00, 0x00, '2', 0xEE, 0x97, 0x91};
  BitsyncDriver driver(card);
  EXPECT_EQ(driver.Request(0xED), (std::vector<uint8_t>{0xED, 6, '2', 0xEE, 0x97, 0x91}));
}

TEST(BitsyncReplyTest, BuiltInTestShowsLinkAnalysisRunning) {
  BitsyncDriver driver;
  EXPECT_EQ(driver.Request(0xE8), (std::vector<uint8_t>{0xE8, 7, 0xBB, 0x1E, 0xA1, 0x1E, 0x3F}));
  driver.Send(SetupCommands(1'024'000, 0x85, {0xCE}));
  EXPECT_EQ(driver.Request(0xE8), (std::vector<uint8_t>{0xE8, 7, 0xBB, 0x1E, 0xA1, 0x5E, 0x3F}));
  driver.Send(SetupCommands(1'024'000, 0x85, {0xCD}));
  EXPECT_EQ(driver.Request(0xE8)[5], 0x1E);
}

}  // namespace
}  // namespace bitsync_test
