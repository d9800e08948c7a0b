// The module's registers and strobe handshake, its module states and the protocol checks.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bitsync_test_driver.h"

namespace bitsync_test {
namespace {

using emulator::BitsyncViolations;
using emulator::CardScenario;
using emulator::ModuleState;

struct StatusCase {
  std::string name;
  ModuleState module;
  int source;
  uint8_t status;
};

class BitsyncStatusTest : public ::testing::TestWithParam<StatusCase> {};

TEST_P(BitsyncStatusTest, StatusBitsFollowTheModuleAndTheSelectedSource) {
  BitsyncDriver driver(CardScenario{.module = GetParam().module, .signal_source = 1});
  driver.SelectSource(GetParam().source);
  driver.Pause(100);
  EXPECT_EQ(driver.Status(), GetParam().status);
}

INSTANTIATE_TEST_SUITE_P(
    States, BitsyncStatusTest,
    ::testing::Values(StatusCase{"IdleWithoutSignal", ModuleState::kPresent, 0, 0x00},
                      StatusCase{"SignalOnSelectedSource", ModuleState::kPresent, 1, 0x01},
                      StatusCase{"AbsentShowsOnlyNoModule", ModuleState::kAbsent, 1, 0x10},
                      StatusCase{"StuckBusy", ModuleState::kStuckBusy, 0, 0x04},
                      StatusCase{"SilentLooksIdle", ModuleState::kSilent, 0, 0x00}),
    [](const auto& info) { return info.param.name; });

TEST(BitsyncStrobeTest, StrobeTakesTheCommandAndIsBusyForAboutAMillisecond) {
  BitsyncDriver driver;
  BitsyncModule& module = driver.module;
  driver.RawStrobe(0x0E);
  EXPECT_TRUE(module.Read(BitsyncModule::kStatusRegister) & BitsyncModule::kBusyBit);
  driver.clock.Advance(BitsyncModule::kCommandBusyNanoseconds - 1);
  EXPECT_TRUE(module.Read(BitsyncModule::kStatusRegister) & BitsyncModule::kBusyBit);
  driver.clock.Advance(1);
  EXPECT_FALSE(module.Read(BitsyncModule::kStatusRegister) & BitsyncModule::kBusyBit);

  driver.Strobe(kEnd);
  EXPECT_TRUE(module.Programming().quick_react_mode);
  EXPECT_EQ(module.LastTransaction(), (std::vector<uint8_t>{0x0E, kEnd}));
  EXPECT_EQ(module.Violations().Total(), 0);
}

TEST(BitsyncStrobeTest, OnlyAFallingThenRisingEdgeIsAStrobe) {
  BitsyncDriver driver;
  driver.WriteCommandRegister(0x0E);
  driver.WriteControl(0x04);  // the line was already high: no edge
  driver.WriteControl(0x0C);
  EXPECT_FALSE(driver.Status() & BitsyncModule::kBusyBit);
  driver.WriteControl(0x08);  // falling edge alone
  EXPECT_FALSE(driver.Status() & BitsyncModule::kBusyBit);
  EXPECT_TRUE(driver.module.LastTransaction().empty());

  driver.WriteControl(0x0C);  // rising edge completes the strobe
  driver.Strobe(kEnd);
  EXPECT_EQ(driver.module.LastTransaction(), (std::vector<uint8_t>{0x0E, kEnd}));
}

struct SourceCase {
  int source;
  uint8_t select_bits;  // bits 5..4 and 1..0 of the control register
};

class BitsyncSourceTest : public ::testing::TestWithParam<SourceCase> {};

TEST_P(BitsyncSourceTest, ControlBitsDecodeToTheSourceNumber) {
  BitsyncDriver driver;
  driver.WriteControl(static_cast<uint8_t>(0x0C | GetParam().select_bits));
  EXPECT_EQ(driver.module.SelectedSource(), GetParam().source);
  EXPECT_EQ(driver.module.ControlRegister(), 0x0C | GetParam().select_bits);
}

INSTANTIATE_TEST_SUITE_P(Sources, BitsyncSourceTest,
                         ::testing::Values(SourceCase{0, 0x00}, SourceCase{1, 0x01},
                                           SourceCase{3, 0x03}, SourceCase{4, 0x10},
                                           SourceCase{7, 0x13}, SourceCase{11, 0x23}));

TEST(BitsyncStrobeTest, StrobesKeepTheSourceSelection) {
  BitsyncDriver driver;
  driver.SelectSource(7);
  driver.Send({0x04, kEnd});
  EXPECT_EQ(driver.module.SelectedSource(), 7);
  EXPECT_EQ(driver.module.ControlRegister(), 0x1F);
}

class BitsyncReadbackTest : public ::testing::TestWithParam<bool> {};

TEST_P(BitsyncReadbackTest, CommandRegisterReadsBackOnlyOnTheNewerMotherCard) {
  const bool readback = GetParam();
  BitsyncDriver driver(CardScenario{.readback = readback});
  driver.WriteCommandRegister(0x0A);
  EXPECT_EQ(driver.CommandRegister(), readback ? 0x0A : 0xFF);
  driver.WriteCommandRegister(0x5C);
  EXPECT_EQ(driver.CommandRegister(), readback ? 0x5C : 0xFF);

  // Reply bytes come through the register on both mother cards.
  EXPECT_EQ(driver.Request(0xEA), (std::vector<uint8_t>{0xEA, 3, 0xA0}));
  EXPECT_EQ(driver.CommandRegister(), readback ? kEnd : 0xFF);
  EXPECT_EQ(driver.module.Violations().Total(), 0);
}

INSTANTIATE_TEST_SUITE_P(MotherCards, BitsyncReadbackTest, ::testing::Bool());

TEST(BitsyncReplyTest, PeRisesAfterProcessingAndEachAcknowledgeShowsTheNextByte) {
  BitsyncDriver driver;
  BitsyncModule& module = driver.module;
  driver.Send({0xEC});
  ASSERT_TRUE(driver.WaitReady());
  driver.RawStrobe(kEnd);
  driver.clock.Advance(BitsyncModule::kReplyDelayNanoseconds - 1);
  EXPECT_FALSE(module.Read(BitsyncModule::kStatusRegister) & BitsyncModule::kPeBit);
  driver.clock.Advance(1);
  EXPECT_EQ(module.Read(BitsyncModule::kStatusRegister), BitsyncModule::kPeBit);

  for (uint8_t expected : {0xEC, 0x03, 0x82}) {
    ASSERT_TRUE(driver.Status() & BitsyncModule::kPeBit);
    EXPECT_EQ(driver.CommandRegister(), expected);
    driver.Pulse();
  }
  EXPECT_FALSE(driver.Status() & BitsyncModule::kPeBit);
  EXPECT_EQ(module.Violations().Total(), 0);
}

TEST(BitsyncModuleStateTest, SilentModuleTakesCommandsButNeverAnswers) {
  BitsyncDriver driver(CardScenario{.module = ModuleState::kSilent});
  driver.Send(SetupCommands(2'048'000, 0x8B));
  EXPECT_EQ(driver.module.Programming().bit_rate, 2'048'000u);
  EXPECT_TRUE(driver.Request(0xED).empty());
  driver.Pause(1000);
  EXPECT_FALSE(driver.Status() & BitsyncModule::kPeBit);
  EXPECT_EQ(driver.module.Violations().Total(), 0);
}

TEST(BitsyncModuleStateTest, StuckBusyModuleStaysBusy) {
  BitsyncDriver driver(CardScenario{.module = ModuleState::kStuckBusy});
  driver.Pause(30'000);
  EXPECT_TRUE(driver.Status() & BitsyncModule::kBusyBit);
  EXPECT_FALSE(driver.WaitReady());
}

TEST(BitsyncModuleStateTest, HangingModuleAnswersUntilItsConfigurationWasRead) {
  BitsyncDriver driver(CardScenario{.module = ModuleState::kHangsAfterConfiguration});
  EXPECT_FALSE(driver.Request(0xE0).empty());
  ASSERT_TRUE(driver.WaitReady());
  EXPECT_FALSE(driver.Request(0xED).empty());
  ASSERT_TRUE(driver.WaitReady()) << "the exchange ends as usual";
  driver.WriteCommandRegister(0xE0);
  driver.Pulse();
  driver.Pause(30'000);
  EXPECT_TRUE(driver.Status() & BitsyncModule::kBusyBit);
  EXPECT_FALSE(driver.WaitReady());
  EXPECT_EQ(driver.module.Violations().Total(), 0);
}

TEST(BitsyncModuleStateTest, AbsentModuleIgnoresStrobes) {
  BitsyncDriver driver(CardScenario{.module = ModuleState::kAbsent});
  driver.Send(SetupCommands(2'048'000, 0x8B));
  driver.Send({0xE0, kEnd});
  driver.Pulse();
  EXPECT_EQ(driver.Status(), BitsyncModule::kNoModuleBit);
  EXPECT_EQ(driver.module.Programming().bit_rate, 0u);
  EXPECT_EQ(driver.module.Violations().Total(), 0);
}

// Each case breaks the protocol in one way; exactly that kind is counted, once.
struct ViolationCase {
  std::string name;
  void (*drive)(BitsyncDriver&);
  int BitsyncViolations::*kind;
};

class BitsyncViolationTest : public ::testing::TestWithParam<ViolationCase> {};

TEST_P(BitsyncViolationTest, CountsExactlyTheViolation) {
  BitsyncDriver driver;
  GetParam().drive(driver);
  const BitsyncViolations violations = driver.module.Violations();
  EXPECT_EQ(violations.*GetParam().kind, 1);
  EXPECT_EQ(violations.Total(), 1);
}

std::vector<uint8_t> FspEnable(uint8_t last) {
  std::vector<uint8_t> commands = {0x05, 0x80, 0, 0, 0, 0, 0, 0, 0, 16, 0, 0x04, 0x00};
  commands.push_back(last);
  return commands;
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, BitsyncViolationTest,
    ::testing::Values(
        ViolationCase{"StrobeWhileBusy",
                      [](BitsyncDriver& d) {
                        d.RawStrobe(0x04);
                        d.RawStrobe(kEnd);
                      },
                      &BitsyncViolations::strobe_while_busy},
        ViolationCase{"AcknowledgeWithNothingPending",
                      [](BitsyncDriver& d) {
                        d.Send({0x04, kEnd});
                        d.Pulse();
                      },
                      &BitsyncViolations::acknowledge_without_reply},
        ViolationCase{"AcknowledgeBeforeTheReplyIsShown",
                      [](BitsyncDriver& d) {
                        d.Send({0xE0});
                        ASSERT_TRUE(d.WaitReady());
                        d.RawStrobe(kEnd);
                        d.clock.Advance(BitsyncModule::kCommandBusyNanoseconds);
                        d.RawPulse();
                      },
                      &BitsyncViolations::acknowledge_without_reply},
        ViolationCase{"UnknownCommandOutsideATransaction", [](BitsyncDriver& d) { d.Send({0x3A}); },
                      &BitsyncViolations::command_not_in_language},
        ViolationCase{"SetupCommandOutsideASetup", [](BitsyncDriver& d) { d.Send({0x93}); },
                      &BitsyncViolations::command_not_in_language},
        ViolationCase{"LoneEndOfCommand", [](BitsyncDriver& d) { d.Send({kEnd}); },
                      &BitsyncViolations::command_not_in_language},
        ViolationCase{"UnknownSpecialSetupCommand",
                      [](BitsyncDriver& d) {
                        d.Send({0x00, 0xC9, kEnd});
                      },
                      &BitsyncViolations::command_not_in_language},
        ViolationCase{"UnusedSpecialStatusCommand", [](BitsyncDriver& d) { d.Send({0xE1}); },
                      &BitsyncViolations::command_not_in_language},
        ViolationCase{"Rnrz9PrefixBeforeAnOrdinaryCode",
                      [](BitsyncDriver& d) {
                        d.Send({0x00, 0x07, 0xA0, kEnd});
                      },
                      &BitsyncViolations::command_not_in_language},
        ViolationCase{"CommandWhileReplyUnread",
                      [](BitsyncDriver& d) {
                        d.Send({0xE8, kEnd});
                        ASSERT_TRUE(d.WaitPe());
                        d.Send({0x04, kEnd});
                      },
                      &BitsyncViolations::command_while_reply_unread},
        ViolationCase{"SpecialStatusInTheMiddleOfASetup",
                      [](BitsyncDriver& d) {
                        d.Send({0x00, 0x90, 0x11, 0xE5, kEnd});
                      },
                      &BitsyncViolations::special_status_in_setup},
        ViolationCase{"SetupStartBeforeARequestEnds",
                      [](BitsyncDriver& d) {
                        d.Send({0xE2, 0x00, kEnd});
                      },
                      &BitsyncViolations::interleaved_transactions},
        ViolationCase{"SetupCommandBeforeARequestEnds",
                      [](BitsyncDriver& d) {
                        d.Send({0xE2, 0x44});
                      },
                      &BitsyncViolations::interleaved_transactions},
        ViolationCase{"RequestInsideAQuickReactTransaction",
                      [](BitsyncDriver& d) {
                        d.Send({0x0E, 0xEA});
                      },
                      &BitsyncViolations::interleaved_transactions},
        ViolationCase{"FspEnableCutIntoASetup",
                      [](BitsyncDriver& d) {
                        d.Send({0x00, 0x92, 0x05});
                      },
                      &BitsyncViolations::interleaved_transactions},
        ViolationCase{"SetupCommandAfterTheFspParameters",
                      [](BitsyncDriver& d) { d.Send(FspEnable(0x93)); },
                      &BitsyncViolations::interleaved_transactions}),
    [](const auto& info) { return info.param.name; });

TEST(BitsyncViolationTest, AStrobeRefusedWhileBusyKeepsItsCommandForTheNextStrobe) {
  BitsyncDriver driver;
  driver.RawStrobe(0x0E);
  driver.RawStrobe(kEnd);
  driver.Pause(2);
  driver.Pulse();
  EXPECT_EQ(driver.module.LastTransaction(), (std::vector<uint8_t>{0x0E, kEnd}));
  EXPECT_EQ(driver.module.Violations().strobe_while_busy, 1);
  EXPECT_EQ(driver.module.Violations().Total(), 1);
}

TEST(BitsyncViolationTest, RequestCuttingIntoASetupIsAnsweredAndTheSetupLeftPartlyProgrammed) {
  BitsyncDriver driver;
  driver.Send({0x00, 0x92, 0xEC, kEnd});
  ASSERT_TRUE(driver.WaitPe());
  EXPECT_EQ(driver.CommandRegister(), 0xEC);
  EXPECT_EQ(driver.module.Programming().bit_rate, 20'000'000u);
  EXPECT_EQ(driver.module.Programming().setups_completed, 0);
  EXPECT_EQ(driver.module.Violations().special_status_in_setup, 1);
}

struct FirmwareCase {
  std::string name;
  uint8_t firmware;
  std::vector<uint8_t> setup;
  int not_in_language;
  int input_code;
};

class BitsyncFirmwareTest : public ::testing::TestWithParam<FirmwareCase> {};

TEST_P(BitsyncFirmwareTest, NewerCommandsNeedFirmware146) {
  CardScenario card;
  card.configuration[5] = GetParam().firmware;
  BitsyncDriver driver(card);
  driver.Send(GetParam().setup);
  EXPECT_EQ(driver.module.Violations().command_not_in_language, GetParam().not_in_language);
  EXPECT_EQ(driver.module.Programming().input_code, GetParam().input_code);
  EXPECT_EQ(driver.module.Programming().setups_completed, 1);
}

INSTANTIATE_TEST_SUITE_P(
    Firmware, BitsyncFirmwareTest,
    ::testing::Values(FirmwareCase{"Rnrz9On146", 146, {0x00, 0x02, 0x07, 0xD1, kEnd}, 0, 30},
                      FirmwareCase{"Rnrz9On145", 145, {0x00, 0x07, 0xD1, kEnd}, 1, 17},
                      FirmwareCase{"ExtendedOn145", 145, {0x00, 0x02, 0xA5, kEnd}, 1, 5}),
    [](const auto& info) { return info.param.name; });

TEST(BitsyncFspLanguageTest, OlderFormatModuleDoesNotKnowFsp) {
  CardScenario card;
  card.configuration[2] = '2';
  BitsyncDriver driver(card);
  driver.Send({0x06, kEnd});
  EXPECT_EQ(driver.module.Violations().command_not_in_language, 2);
  EXPECT_FALSE(driver.module.Programming().fsp_enabled);
}

}  // namespace
}  // namespace bitsync_test
