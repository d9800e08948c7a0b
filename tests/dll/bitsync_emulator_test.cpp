// The bitsync control end to end against the emulated module on an emulated card: opening,
// programming and reading back, lock states from the signal model, link analysis, FSP mode,
// and two threads sharing one module. Every test ends with no protocol violation.

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <sstream>
#include <string>
#include <thread>

#include "dll/keltbitsyncclass2.h"
#include "tests/dll/EmulatedCardFixture.h"
#include "tests/dll/bitsync_test_support.h"

namespace bitsync_test {
namespace {

using emulator::CardScenario;
using emulator::ModuleState;

std::string Describe(const emulator::BitsyncViolations& v) {
  std::ostringstream text;
  text << "strobe while busy " << v.strobe_while_busy << ", acknowledge without reply "
       << v.acknowledge_without_reply << ", not in language " << v.command_not_in_language
       << ", command while reply unread " << v.command_while_reply_unread
       << ", special status in setup " << v.special_status_in_setup << ", interleaved "
       << v.interleaved_transactions;
  return text.str();
}

// A module of the newer format dated before b mode, so that the lock status comes from the
// status register (firmware version low 13).
CardScenario PlainModule() {
  CardScenario scenario;
  scenario.configuration = {0x00, 0x00, 0x4E, 0x07, 0x07, 0x0D};
  return scenario;
}

BitsyncSetup SignalSetup() {
  BitsyncSetup setup{};
  setup.InputSource = 1;  // the scenario's signal source
  setup.InputCode = 5;
  setup.OutputCode = 7;
  setup.LoopBandwidth = 0;  // 2 %
  setup.BitRate = 1'024'000;
  return setup;
}

class BitsyncEmulatorTest : public zorv_test::EmulatedCardFixture {
 protected:
  // Opens the emulated card, initialises its bitsync and reads the configuration.
  void OpenBitsync(const CardScenario& scenario = {}) {
    OpenCard(scenario);
    bitsync_ = std::make_unique<keltbitsyncclass2>();
    std::string error_text;
    ASSERT_TRUE(bitsync_->InitBitsync(0, true, handle(), error_text)) << error_text;
    uint8_t option_20mbit = 0;
    uint8_t option_bert = 0;
    uint32_t high = 0;
    uint32_t low = 0;
    ASSERT_TRUE(bitsync_->ReadBitsyncConfiguration(option_20mbit, option_bert, high, low));
  }

  void Program(const BitsyncSetup& setup, uint8_t quick_react = 0) {
    std::string error_text;
    ASSERT_TRUE(bitsync_->SendCompleteBitsyncSetup(setup, quick_react, error_text)) << error_text;
  }

  int32_t StatusAfter(uint32_t milliseconds) {
    clock().Sleep(milliseconds);
    int32_t code = -1;
    EXPECT_TRUE(bitsync_->GetBitsyncStatus(code));
    return code;
  }

  void TearDown() override {
    const auto violations = module().Violations();
    EXPECT_EQ(violations.Total(), 0) << Describe(violations);
    // The bitsync goes before the card handle it uses.
    bitsync_.reset();
    EmulatedCardFixture::TearDown();
  }

  emulator::BitsyncModule& module() { return card().bitsync(); }

  LogFolder scratch_;
  std::unique_ptr<keltbitsyncclass2> bitsync_;
};

struct OpenCase {
  const char* name;
  ModuleState module;
  bool readback;
  bool valid;
  bool readback_flag;
  const char* error_text;
};

class OpenTest : public BitsyncEmulatorTest, public ::testing::WithParamInterface<OpenCase> {};

TEST_P(OpenTest, InitialisationReportsTheModuleAndTheMotherCard) {
  const OpenCase& c = GetParam();
  CardScenario scenario;
  scenario.module = c.module;
  scenario.readback = c.readback;
  OpenCard(scenario);
  bitsync_ = std::make_unique<keltbitsyncclass2>();
  std::string error_text = "stale";
  EXPECT_EQ(bitsync_->InitBitsync(0, true, handle(), error_text), c.valid);
  EXPECT_EQ(error_text, c.error_text);
  EXPECT_EQ(bitsync_->IsReadbackCapable(), c.readback_flag);
  // The read-back check runs whatever the module.
  EXPECT_EQ(scratch_.Count("...Done Checking for old/new decom type card for bitsync..."), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Table, OpenTest,
    ::testing::Values(OpenCase{"Present", ModuleState::kPresent, true, true, true, ""},
                      OpenCase{"OlderMotherCard", ModuleState::kPresent, false, true, false, ""},
                      OpenCase{"Absent", ModuleState::kAbsent, true, false, true,
                               "Status Indicates NO KELTTF BITSYNC PRESENT"},
                      OpenCase{"StuckBusy", ModuleState::kStuckBusy, true, true, true, ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(BitsyncEmulatorTest, StaleReplyIsAcknowledgedAtOpenAndAtShutdown) {
  OpenBitsync();
  // A transaction cut short: the request is in, its reply unread.
  ASSERT_TRUE(bitsync_->WaitNotInUse());
  ASSERT_TRUE(bitsync_->StrobeBitsyncCommand(0xE9));
  ASSERT_TRUE(bitsync_->StrobeBitsyncCommand(0x0A));
  clock().Sleep(10);
  keltbitsyncclass2 second;
  std::string error_text;
  ASSERT_TRUE(second.InitBitsync(0, true, handle(), error_text));
  const auto lines = scratch_.LinesWith("pebit is set at init bitsync");
  ASSERT_EQ(lines.size(), 10u);  // the ten bytes of the programmed bit rate reply
  EXPECT_EQ(lines.back().code, 9);

  // Cut short again; this time the shutdown clears it.
  ASSERT_TRUE(bitsync_->StrobeBitsyncCommand(0xE9));
  ASSERT_TRUE(bitsync_->StrobeBitsyncCommand(0x0A));
  clock().Sleep(10);
  bitsync_.reset();
  EXPECT_EQ(scratch_.Count("pebit is set at init bitsync"), 20);
  uint32_t bit_rate = 0;
  uint8_t option_20mbit = 0;
  uint8_t option_bert = 0;
  uint32_t high = 0;
  uint32_t low = 0;
  ASSERT_TRUE(second.ReadBitsyncConfiguration(option_20mbit, option_bert, high, low));
  EXPECT_TRUE(second.GetBitsyncProgrammedBitRate(bit_rate));
}

struct RoundTripCase {
  const char* name;
  CardScenario scenario;
  BitsyncSetup setup;
  uint8_t quick_react;
};

class RoundTripTest : public BitsyncEmulatorTest,
                      public ::testing::WithParamInterface<RoundTripCase> {};

TEST_P(RoundTripTest, ProgrammedValuesReadBackAsTheRecord) {
  const RoundTripCase& c = GetParam();
  OpenBitsync(c.scenario);
  Program(c.setup, c.quick_react);
  uint32_t bit_rate = 0;
  int32_t input_code = -1;
  int32_t output_code = -1;
  uint8_t loop_bandwidth = 0xFF;
  ASSERT_TRUE(bitsync_->GetBitsyncProgrammedBitRate(bit_rate));
  ASSERT_TRUE(bitsync_->GetBitsyncProgrammedInputCode(input_code));
  ASSERT_TRUE(bitsync_->GetBitsyncProgrammedOutputCode(output_code));
  ASSERT_TRUE(bitsync_->GetBitsyncProgrammedLoopBw(loop_bandwidth));
  EXPECT_EQ(bit_rate, c.setup.BitRate);
  EXPECT_EQ(input_code, c.setup.InputCode);
  EXPECT_EQ(output_code, c.setup.OutputCode);
  EXPECT_EQ(loop_bandwidth, c.setup.LoopBandwidth);

  const emulator::BitsyncProgramming p = module().Programming();
  EXPECT_EQ(p.setups_completed, 1);
  EXPECT_EQ(p.quick_react_mode, c.quick_react != 0);
  EXPECT_EQ(p.bit_decision_detector, c.setup.BitDecisionDetector != 0);
  EXPECT_EQ(p.do_90_deg_clk_out, c.setup.Do90DegClkOut != 0);
  EXPECT_EQ(p.startup_auto_test_enabled, c.setup.StartupAutoTestEnabled != 0);
  EXPECT_EQ(p.pattern_15_bit, c.setup.Pattern15Bit != 0);
  EXPECT_EQ(p.nrzl_dc_output_disabled_at_es_no_5db, c.setup.NrzlDcOutputDisabledAtEsNo5Db != 0);
  EXPECT_EQ(p.known_error_mode, c.setup.KnownErrorMode != 0);
  EXPECT_EQ(module().SelectedSource(), c.setup.InputSource);
}

BitsyncSetup Everything() {
  BitsyncSetup setup{};
  setup.InputSource = 11;
  setup.InputCode = 29;
  setup.OutputCode = 17;
  setup.LoopBandwidth = 7;
  setup.BitRate = 99'999'999;
  setup.BitDecisionDetector = 1;
  setup.StartupAutoTestEnabled = 1;
  setup.Pattern15Bit = 1;
  setup.NrzlDcOutputDisabledAtEsNo5Db = 1;
  setup.BerTestingEnabled = 1;
  setup.KnownErrorMode = 1;
  setup.Do90DegClkOut = 1;
  return setup;
}

INSTANTIATE_TEST_SUITE_P(Table, RoundTripTest,
                         ::testing::Values(RoundTripCase{"Plain", PlainModule(), SignalSetup(), 0},
                                           RoundTripCase{"Everything", CardScenario{}, Everything(),
                                                         1}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(BitsyncEmulatorTest, OlderMotherCardSelectsAtMostSourceThree) {
  CardScenario scenario;
  scenario.readback = false;
  OpenBitsync(scenario);
  BitsyncSetup setup = SignalSetup();
  setup.InputSource = 7;
  Program(setup);
  EXPECT_EQ(module().SelectedSource(), 3);
}

TEST_F(BitsyncEmulatorTest, QuickReactTransactionChangesOnlyTheMode) {
  OpenBitsync();
  Program(SignalSetup());
  std::string error_text;
  ASSERT_TRUE(bitsync_->SendBitsyncSetupQuickReactMode(1, error_text));
  EXPECT_EQ(module().LastTransaction(), (std::vector<uint8_t>{0x0E, 0x0A}));
  EXPECT_TRUE(module().Programming().quick_react_mode);
  EXPECT_EQ(module().Programming().setups_completed, 1);
}

TEST_F(BitsyncEmulatorTest, StuckBusyModuleFailsTheSetupAtTheSourceSelection) {
  CardScenario scenario;
  scenario.module = ModuleState::kStuckBusy;
  OpenCard(scenario);
  bitsync_ = std::make_unique<keltbitsyncclass2>();
  std::string error_text;
  ASSERT_TRUE(bitsync_->InitBitsync(0, true, handle(), error_text));
  int32_t code = -1;
  EXPECT_TRUE(bitsync_->GetBitsyncStatus(code));
  EXPECT_EQ(code, 4);
  EXPECT_FALSE(bitsync_->SendCompleteBitsyncSetup(SignalSetup(), 0, error_text));
  EXPECT_EQ(error_text, "Bitsync for card 1 Invalid bitsync source command.");
  EXPECT_FALSE(bitsync_->IsValid());
  EXPECT_FALSE(bitsync_->GetBitsyncStatus(code));
  EXPECT_EQ(code, 5);
}

TEST_F(BitsyncEmulatorTest, SilentModuleLeavesTheSpecialCommandsOff) {
  CardScenario scenario;
  scenario.module = ModuleState::kSilent;
  OpenCard(scenario);
  bitsync_ = std::make_unique<keltbitsyncclass2>();
  std::string error_text;
  ASSERT_TRUE(bitsync_->InitBitsync(0, true, handle(), error_text));
  uint8_t option_20mbit = 0;
  uint8_t option_bert = 0;
  uint32_t high = 7;
  uint32_t low = 7;
  EXPECT_FALSE(bitsync_->ReadBitsyncConfiguration(option_20mbit, option_bert, high, low));
  EXPECT_FALSE(bitsync_->TakesSpecialCommands());
  EXPECT_EQ(scratch_.Count("Bitsync Not Ready To Receive Data"), 5);
  // Setups still go out, as to a module of firmware 0 without special commands: 16 commands.
  Program(SignalSetup());
  EXPECT_EQ(module().Programming().setups_completed, 1);
  EXPECT_EQ(module().LastTransaction().size(), 16u);
}

struct LockCase {
  const char* name;
  int32_t source;
  uint32_t bit_rate;
  int32_t code;
};

class LockTest : public BitsyncEmulatorTest, public ::testing::WithParamInterface<LockCase> {};

TEST_P(LockTest, SignalModelDecidesTheLockStatus) {
  OpenBitsync(PlainModule());
  BitsyncSetup setup = SignalSetup();
  setup.InputSource = GetParam().source;
  setup.BitRate = GetParam().bit_rate;
  Program(setup);
  EXPECT_EQ(StatusAfter(500), GetParam().code);
}

INSTANTIATE_TEST_SUITE_P(Table, LockTest,
                         ::testing::Values(LockCase{"Lock", 1, 1'024'000, 2},
                                           LockCase{"WithinTwoPercent", 1, 1'040'000, 2},
                                           LockCase{"OtherSource", 2, 1'024'000, 0},
                                           LockCase{"RateOutsideTheLoopBandwidth", 1, 1'100'000,
                                                    1}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(BitsyncEmulatorTest, BModeReportsLockFromTheOperationalStatus) {
  OpenBitsync();
  ASSERT_TRUE(bitsync_->IsBMode());
  Program(SignalSetup());
  clock().Sleep(500);
  int32_t code = -1;
  for (int poll = 0; poll < 4; ++poll) ASSERT_TRUE(bitsync_->GetBitsyncStatus(code));
  EXPECT_EQ(code, 2);
  BitsyncSetup elsewhere = SignalSetup();
  elsewhere.InputSource = 2;
  Program(elsewhere);
  clock().Sleep(500);
  for (int poll = 0; poll < 4; ++poll) ASSERT_TRUE(bitsync_->GetBitsyncStatus(code));
  EXPECT_EQ(code, 1);  // b mode never reports no signal
}

TEST_F(BitsyncEmulatorTest, MeasurementTextsAreSevenCharactersOfNumbers) {
  OpenBitsync(PlainModule());
  BitsyncSetup setup = SignalSetup();
  setup.BitRate = 1'020'000;
  Program(setup);
  clock().Sleep(500);
  std::string es_no;
  std::string voltage;
  std::string offset;
  ASSERT_TRUE(bitsync_->GetEstimatedEsNo(es_no));
  ASSERT_TRUE(bitsync_->GetSignalVoltage(voltage));
  ASSERT_TRUE(bitsync_->GetOffsetFrequency(offset));
  for (const std::string& text : {es_no, voltage, offset}) EXPECT_EQ(text.size(), 7u) << text;
  EXPECT_NEAR(std::stod(es_no), 15.0, 0.5);
  EXPECT_NEAR(std::stod(voltage), 1.5, 0.01);
  EXPECT_NEAR(std::stod(offset), 4000.0, 1.0);
}

TEST_F(BitsyncEmulatorTest, BerTestWithForcedErrorsCountsBitsAndErrors) {
  OpenBitsync(PlainModule());
  BitsyncSetup setup = SignalSetup();
  setup.BerTestingEnabled = 1;
  setup.KnownErrorMode = 1;
  Program(setup);
  clock().Sleep(500);
  bool correlator_bad = true;
  bool history = true;
  bool overflow = true;
  ASSERT_TRUE(bitsync_->GetLinkAnalysisOperationalStatus(correlator_bad, history, overflow));
  EXPECT_FALSE(correlator_bad);  // 0 is good
  EXPECT_FALSE(overflow);

  // Bits are counted from the moment each read's request went in; the reads before and after
  // the 10 s add at most their own length, which is measured.
  const auto timed_bit_count = [this](uint32_t& bits) {
    const int64_t start = clock().MonotonicNanoseconds();
    EXPECT_TRUE(bitsync_->GetLinkAnalysisBitCount(bits));
    return (clock().MonotonicNanoseconds() - start) / 1e9;
  };
  uint32_t errors_before = 0;
  uint32_t bits_before = 0;
  ASSERT_TRUE(bitsync_->GetLinkAnalysisErrorCount(errors_before));
  const double first_read_s = timed_bit_count(bits_before);
  clock().Sleep(10'000);
  uint32_t bits = 0;
  uint32_t errors = 0;
  const double second_read_s = timed_bit_count(bits);
  ASSERT_TRUE(bitsync_->GetLinkAnalysisErrorCount(errors));
  const double counted = bits - bits_before;
  EXPECT_GE(counted, 10.0 * 1'024'000);
  EXPECT_LE(counted, (10.0 + first_read_s + second_read_s) * 1'024'000);
  EXPECT_NEAR((errors - errors_before) / counted, 1e-3, 1e-4);

  std::array<uint8_t, 5> results{};
  ASSERT_TRUE(bitsync_->GetBitsyncBIT(results));
  EXPECT_EQ(results, (std::array<uint8_t, 5>{0xBB, 0x1E, 0xA1, 0x5E, 0x3F}));
}

TEST_F(BitsyncEmulatorTest, FspModeOnAndOffWithItsCount) {
  OpenBitsync();
  Program(SignalSetup());
  clock().Sleep(500);
  ASSERT_TRUE(bitsync_->EnableBsFspSigQualMode(1024, 32, 3, 1, 3));
  EXPECT_EQ(module().LastTransaction(),
            (std::vector<uint8_t>{0x05, 0x80, 0, 0, 0, 0x80, 0, 0, 0, 32, 3, 0x04, 0x00, 0x0A}));
  EXPECT_TRUE(module().Programming().fsp_enabled);
  std::string es_no;
  const int64_t first = clock().MonotonicNanoseconds();
  ASSERT_TRUE(bitsync_->GetEstimatedEsNo(es_no));  // starts the count afresh
  clock().Sleep(1000);
  const int64_t second = clock().MonotonicNanoseconds();
  ASSERT_TRUE(bitsync_->GetEstimatedEsNo(es_no));
  uint16_t count = 0;
  ASSERT_TRUE(bitsync_->GetBsFspCount(count));
  // A frame of 1024 bits at 1,024,000 bits per second: one frame a millisecond between the
  // moments the two requests went in.
  const double expected = static_cast<double>(second - first) / 1e6;
  EXPECT_NEAR(count, expected, expected * 0.02);

  ASSERT_TRUE(bitsync_->DisableBsFspSigQualMode());
  EXPECT_FALSE(module().Programming().fsp_enabled);
  ASSERT_TRUE(bitsync_->GetEstimatedEsNo(es_no));
  ASSERT_TRUE(bitsync_->GetBsFspCount(count));
  EXPECT_EQ(count, 0);
}

// Two threads on one module need real time: with the virtual clock each thread's pauses would
// advance the other's time, and the waits for the transaction flag would not overlap as they do
// on a PC. The run is kept short (two setups, about a second).
TEST(BitsyncTwoThreadTest, SetupAndStatusReadsNeverInterleave) {
  zorv_test::ScopedEmulatedBus emulated(emulator::Scenario{{CardScenario{}}});
  LogFolder scratch;
  PCI_CARD_INFO info{};
  ASSERT_EQ(P9080_CountCards(0x10B5, 0x9080, 0x0310D1A7, 1, &info), 1u);
  P9080_HANDLE handle = nullptr;
  ASSERT_TRUE(P9080_Open(handle, 0, info));
  {
    keltbitsyncclass2 bitsync;
    std::string error_text;
    ASSERT_TRUE(bitsync.InitBitsync(0, true, handle, error_text));
    uint8_t option_20mbit = 0;
    uint8_t option_bert = 0;
    uint32_t high = 0;
    uint32_t low = 0;
    ASSERT_TRUE(bitsync.ReadBitsyncConfiguration(option_20mbit, option_bert, high, low));

    std::atomic<bool> setups_done{false};
    std::atomic<int> reads{0};
    std::thread poller([&] {
      while (!setups_done.load()) {
        uint32_t bit_rate = 0;
        std::string es_no;
        int32_t code = 0;
        if (bitsync.GetBitsyncProgrammedBitRate(bit_rate)) ++reads;
        if (bitsync.GetEstimatedEsNo(es_no)) ++reads;
        bitsync.GetBitsyncStatus(code);
        // A polling thread rests between its passes, as the operator program's does.
        platform::clock().Sleep(20);
      }
    });
    bool programmed = true;
    for (uint32_t rate : {1'024'000u, 2'048'000u}) {
      BitsyncSetup setup = SignalSetup();
      setup.BitRate = rate;
      // A setup that cannot take the flag within 300 ms is refused; try again.
      bool sent = false;
      for (int attempt = 0; attempt < 5 && !sent; ++attempt) {
        sent = bitsync.SendCompleteBitsyncSetup(setup, 0, error_text);
      }
      programmed = programmed && sent;
    }
    setups_done.store(true);
    poller.join();
    EXPECT_TRUE(programmed) << error_text;
    EXPECT_GT(reads.load(), 0);
    EXPECT_TRUE(bitsync.IsValid());
    const auto violations = emulated.bus().Card(0).bitsync().Violations();
    EXPECT_EQ(violations.interleaved_transactions, 0);
    EXPECT_EQ(violations.Total(), 0) << Describe(violations);
    EXPECT_EQ(emulated.bus().Card(0).bitsync().Programming().setups_completed, 2);
  }
  P9080_Close(handle);
}

}  // namespace
}  // namespace bitsync_test
