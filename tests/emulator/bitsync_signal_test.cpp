// The signal model seen through the registers: presence, lock and search, the operational
// status, link analysis counters over virtual time, the measurement texts and the FSP count.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "bitsync_test_driver.h"

namespace bitsync_test {
namespace {

using emulator::BitsyncSignalModel;
using emulator::CardScenario;

constexpr uint32_t kSignalRate = 1'024'000;  // the scenario's default signal
constexpr int kSignalSource = 1;
constexpr uint8_t kBandwidth2Percent = 0x8B;
constexpr uint8_t kBandwidthHalfPercent = 0x85;
constexpr uint8_t kBandwidthHundredthPercent = 0x8D;
constexpr uint8_t kBerInternal = 0xCE;
constexpr uint8_t kBerOff = 0xCD;
constexpr uint8_t kForcedErrors = 0xCC;
constexpr uint8_t kNoForcedErrors = 0xCB;

uint32_t LittleEndian(const std::vector<uint8_t>& reply, size_t first, size_t count) {
  uint32_t value = 0;
  for (size_t i = 0; i < count; ++i) value |= uint32_t{reply.at(first + i)} << (8 * i);
  return value;
}

std::string Text(const std::vector<uint8_t>& reply) {
  return std::string(reply.begin() + 2, reply.begin() + 9);
}

// Selects the source, programs the rate and lets the loop settle.
void Program(BitsyncDriver& driver, int source, uint32_t rate, uint8_t bandwidth,
             const std::vector<uint8_t>& extra = {}) {
  driver.SelectSource(source);
  driver.Send(SetupCommands(rate, bandwidth, extra));
  driver.Pause(50);
}

struct LockCase {
  std::string name;
  int source;
  uint32_t rate;
  uint8_t bandwidth;
  uint8_t status;
};

class BitsyncLockTest : public ::testing::TestWithParam<LockCase> {};

TEST_P(BitsyncLockTest, LockNeedsTheSignalsSourceAndARateWithinTheLoopBandwidth) {
  BitsyncDriver driver;
  Program(driver, GetParam().source, GetParam().rate, GetParam().bandwidth);
  EXPECT_EQ(driver.Status(), GetParam().status);
  EXPECT_EQ(driver.module.Violations().Total(), 0);
}

// The loop bandwidth names are percentages of the signal's rate: 0.5 % of 1,024,000 is 5,120.
INSTANTIATE_TEST_SUITE_P(
    Signals, BitsyncLockTest,
    ::testing::Values(LockCase{"Locked", kSignalSource, kSignalRate, kBandwidthHalfPercent, 0x03},
                      LockCase{"NoSignalOnOtherSource", 2, kSignalRate, kBandwidthHalfPercent, 0},
                      LockCase{"HalfPercentAbove", 1, 1'029'120, kBandwidthHalfPercent, 0x03},
                      LockCase{"JustOutsideHalfPercent", 1, 1'029'121, kBandwidthHalfPercent, 1},
                      LockCase{"HalfPercentBelow", 1, 1'018'880, kBandwidthHalfPercent, 0x03},
                      LockCase{"TwoPercent", 1, 1'044'480, kBandwidth2Percent, 0x03},
                      LockCase{"JustOutsideTwoPercent", 1, 1'044'481, kBandwidth2Percent, 1},
                      LockCase{"NarrowLoopSearches", 1, 1'024'200, kBandwidthHundredthPercent, 1}),
    [](const auto& info) { return info.param.name; });

TEST(BitsyncLockTest, LockFollowsAShortAcquisition) {
  BitsyncDriver driver;
  Program(driver, 0, kSignalRate, kBandwidthHalfPercent);
  EXPECT_EQ(driver.Status(), 0);

  BitsyncModule& module = driver.module;
  driver.SelectSource(kSignalSource);  // then the host's 2 ms pause
  driver.clock.Advance(BitsyncSignalModel::kAcquisitionNanoseconds - 2'000'000 - 1);
  EXPECT_EQ(module.Read(BitsyncModule::kStatusRegister), BitsyncModule::kSignalBit);
  driver.clock.Advance(1);
  EXPECT_EQ(module.Read(BitsyncModule::kStatusRegister),
            BitsyncModule::kSignalBit | BitsyncModule::kLockBit);

  // The same setup again does not disturb the loop.
  driver.Send(SetupCommands(kSignalRate, kBandwidthHalfPercent));
  EXPECT_EQ(module.Read(BitsyncModule::kStatusRegister),
            BitsyncModule::kSignalBit | BitsyncModule::kLockBit);
}

// The scenario's schedule: on 1 s, off 0.5 s, again and again, on module time.
TEST(BitsyncLockTest, ScheduledSignalComesAndGoesAndTheLoopAcquiresAgainEachTime) {
  CardScenario card;
  ASSERT_TRUE(emulator::ParseSignalSchedule("on 1, off 0.5", card.signal_schedule));
  BitsyncDriver driver(card);
  Program(driver, kSignalSource, kSignalRate, kBandwidthHalfPercent, {kBerInternal});
  constexpr uint8_t kLocked = BitsyncModule::kSignalBit | BitsyncModule::kLockBit;
  const auto status_at = [&](int64_t milliseconds) {
    driver.clock.Advance(milliseconds * 1'000'000 - driver.Nanoseconds());
    return driver.module.Read(BitsyncModule::kStatusRegister);
  };
  // Milliseconds of module time and the status read then.
  const std::pair<int64_t, uint8_t> readings[] = {
      {999, kLocked},  {1000, 0},
      {1499, 0},       {1519, BitsyncModule::kSignalBit},  // acquiring again
      {1520, kLocked}, {2499, kLocked},
      {2500, 0},       {3020, kLocked},
  };
  for (const auto& [at, status] : readings) EXPECT_EQ(status_at(at), status) << at << " ms";

  // The correlator noticed the losses, and no bit counts while the signal is away.
  EXPECT_EQ(driver.Request(0xE4).at(3), 1);
  EXPECT_EQ(status_at(4100), 0);
  const uint32_t bits_gone = LittleEndian(driver.Request(0xE2), 2, 4);
  EXPECT_EQ(status_at(4400), 0);
  EXPECT_EQ(LittleEndian(driver.Request(0xE2), 2, 4), bits_gone);
  EXPECT_EQ(status_at(4600), kLocked);
  EXPECT_GT(LittleEndian(driver.Request(0xE2), 2, 4), bits_gone);
  EXPECT_EQ(driver.module.Violations().Total(), 0);
}

struct OperationalCase {
  std::string name;
  double es_no;
  int source;
  uint32_t rate;
  std::vector<uint8_t> extra;
  uint8_t status;
};

class BitsyncOperationalTest : public ::testing::TestWithParam<OperationalCase> {};

TEST_P(BitsyncOperationalTest, OperationalStatusBits) {
  BitsyncDriver driver(CardScenario{.signal_es_no = GetParam().es_no});
  Program(driver, GetParam().source, GetParam().rate, kBandwidthHalfPercent, GetParam().extra);
  EXPECT_EQ(driver.Request(0xE0), (std::vector<uint8_t>{0xE0, 3, GetParam().status}));
}

INSTANTIATE_TEST_SUITE_P(
    States, BitsyncOperationalTest,
    ::testing::Values(OperationalCase{"NoSignal", 15, 0, kSignalRate, {}, 0x00},
                      OperationalCase{"LockedGoodSignal", 15, 1, kSignalRate, {}, 0x07},
                      OperationalCase{"LockedPoorSignal", 3, 1, kSignalRate, {}, 0x03},
                      OperationalCase{"Searching", 15, 1, 1'100'000, {}, 0x01},
                      OperationalCase{"BerTestLocked", 15, 1, kSignalRate, {kBerInternal}, 0x37},
                      OperationalCase{"BerTestExternal", 15, 1, kSignalRate, {0xCA}, 0x37},
                      OperationalCase{"BerTestSearching", 15, 1, 1'100'000, {kBerInternal}, 0x11}),
    [](const auto& info) { return info.param.name; });

struct ErrorCase {
  std::string name;
  double ber;
  uint8_t forced;
  double error_rate;
};

class BitsyncCountTest : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(BitsyncCountTest, CountsGrowWithTheProgrammedRateOverTenSeconds) {
  BitsyncDriver driver(CardScenario{.signal_ber = GetParam().ber});
  Program(driver, kSignalSource, kSignalRate, kBandwidthHalfPercent,
          {kBerInternal, GetParam().forced});
  const int64_t start = driver.Nanoseconds();
  const uint32_t bits_before = LittleEndian(driver.Request(0xE2), 2, 4);
  const uint32_t errors_before = LittleEndian(driver.Request(0xE3), 2, 3);
  driver.Pause(10'000);
  const int64_t elapsed = driver.Nanoseconds() - start;
  const uint32_t bits = LittleEndian(driver.Request(0xE2), 2, 4) - bits_before;
  const uint32_t errors = LittleEndian(driver.Request(0xE3), 2, 3) - errors_before;

  // Both requests take the same time, so the counts are taken exactly `elapsed` apart.
  EXPECT_EQ(bits, kSignalRate * elapsed / 1'000'000'000);
  EXPECT_NEAR(errors, bits * GetParam().error_rate, 2.0);
  EXPECT_EQ(driver.module.Violations().Total(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Errors, BitsyncCountTest,
    ::testing::Values(ErrorCase{"Clean", 0.0, kNoForcedErrors, 0.0},
                      ErrorCase{"ForcedOneInAThousand", 0.0, kForcedErrors, 1e-3},
                      ErrorCase{"SignalBer", 1e-4, kNoForcedErrors, 1e-4},
                      ErrorCase{"SignalBerAndForced", 1e-4, kForcedErrors, 1.1e-3}),
    [](const auto& info) { return info.param.name; });

TEST(BitsyncCountTest, BitCountIsThirtyBitsWide) {
  constexpr uint32_t kRate = 99'999'999;
  BitsyncDriver driver(CardScenario{.signal_bit_rate = kRate});
  Program(driver, kSignalSource, kRate, kBandwidthHalfPercent, {kBerInternal});
  const int64_t start = driver.Nanoseconds();
  const uint32_t before = LittleEndian(driver.Request(0xE2), 2, 4);
  driver.Pause(11'000);  // past 2^30 bits
  const int64_t elapsed = driver.Nanoseconds() - start;
  const uint64_t total = before + uint64_t{kRate} * elapsed / 1'000'000'000;
  ASSERT_GT(total, BitsyncSignalModel::kBitCountMask);
  EXPECT_NEAR(LittleEndian(driver.Request(0xE2), 2, 4),
              static_cast<double>(total & BitsyncSignalModel::kBitCountMask), 1.0);
}

TEST(BitsyncCountTest, ErrorCountWrapsAtTwentyFourBitsAndFlagsTheOverflowUntilRestart) {
  constexpr uint32_t kRate = 99'999'999;
  BitsyncDriver driver(CardScenario{.signal_bit_rate = kRate, .signal_ber = 0.5});
  Program(driver, kSignalSource, kRate, kBandwidthHalfPercent, {kBerInternal});
  EXPECT_EQ(driver.Request(0xE4), (std::vector<uint8_t>{0xE4, 5, 0, 0, 0}));
  driver.Pause(1000);  // about 5e7 errors
  const uint32_t bits = LittleEndian(driver.Request(0xE2), 2, 4);
  const uint32_t errors = LittleEndian(driver.Request(0xE3), 2, 3);
  EXPECT_LT(errors, bits / 2 - 1);  // wrapped
  EXPECT_EQ(driver.Request(0xE4), (std::vector<uint8_t>{0xE4, 5, 0, 0, 1}));

  driver.Send(SetupCommands(kRate, kBandwidthHalfPercent, {kBerOff}));
  driver.Send(SetupCommands(kRate, kBandwidthHalfPercent, {kBerInternal}));
  EXPECT_EQ(driver.Request(0xE4), (std::vector<uint8_t>{0xE4, 5, 0, 0, 0}));
}

TEST(BitsyncCountTest, TestOffFreezesTheCountsAndOnAgainRestartsThem) {
  BitsyncDriver driver;
  Program(driver, kSignalSource, kSignalRate, kBandwidthHalfPercent, {kBerInternal});
  driver.Pause(2000);
  const uint32_t running = LittleEndian(driver.Request(0xE2), 2, 4);
  EXPECT_GT(running, 2 * kSignalRate);

  driver.Send(SetupCommands(kSignalRate, kBandwidthHalfPercent, {kBerOff}));
  const uint32_t stopped = LittleEndian(driver.Request(0xE2), 2, 4);
  EXPECT_GT(stopped, running);
  driver.Pause(1000);
  EXPECT_EQ(LittleEndian(driver.Request(0xE2), 2, 4), stopped);

  // Sending the same test mode again keeps counting; off and on restarts.
  driver.Send(SetupCommands(kSignalRate, kBandwidthHalfPercent, {kBerInternal}));
  driver.Pause(1000);
  const uint32_t restarted = LittleEndian(driver.Request(0xE2), 2, 4);
  EXPECT_LT(restarted, stopped);
  driver.Send(SetupCommands(kSignalRate, kBandwidthHalfPercent, {kBerInternal}));
  EXPECT_GT(LittleEndian(driver.Request(0xE2), 2, 4), restarted);
}

TEST(BitsyncCountTest, CorrelatorFlagsReadZeroWhenGood) {
  BitsyncDriver driver;
  Program(driver, kSignalSource, kSignalRate, kBandwidthHalfPercent);
  EXPECT_EQ(driver.Request(0xE4), (std::vector<uint8_t>{0xE4, 5, 1, 0, 0}));  // test off

  driver.Send(SetupCommands(kSignalRate, kBandwidthHalfPercent, {kBerInternal}));
  driver.Pause(50);
  EXPECT_EQ(driver.Request(0xE4), (std::vector<uint8_t>{0xE4, 5, 0, 0, 0}));

  driver.SelectSource(2);
  EXPECT_EQ(driver.Request(0xE4), (std::vector<uint8_t>{0xE4, 5, 1, 1, 0}));
  driver.SelectSource(kSignalSource);
  driver.Pause(50);
  EXPECT_EQ(driver.Request(0xE4), (std::vector<uint8_t>{0xE4, 5, 0, 1, 0}));  // history kept
}

struct TextCase {
  std::string name;
  int source;
  uint32_t rate;
  std::string voltage;
  std::string offset;
};

class BitsyncTextTest : public ::testing::TestWithParam<TextCase> {};

TEST_P(BitsyncTextTest, VoltageAndOffsetFrequencyTexts) {
  BitsyncDriver driver;
  Program(driver, GetParam().source, GetParam().rate, kBandwidthHalfPercent);
  EXPECT_EQ(Text(driver.Request(0xE6)), GetParam().voltage);
  EXPECT_EQ(Text(driver.Request(0xE7)), GetParam().offset);
}

INSTANTIATE_TEST_SUITE_P(
    Signals, BitsyncTextTest,
    ::testing::Values(TextCase{"Locked", 1, kSignalRate, "  1.500", "      0"},
                      TextCase{"SlowerProgrammed", 1, 1'023'000, "  1.500", "   1000"},
                      TextCase{"FasterSearching", 1, 1'030'000, "  1.500", "  -6000"},
                      TextCase{"FarOffClamped", 1, 99'999'999, "  1.500", "-999999"},
                      TextCase{"NoSignal", 0, kSignalRate, "  0.000", "      0"}),
    [](const auto& info) { return info.param.name; });

std::vector<std::string> EsNoTexts(BitsyncDriver& driver, int reads) {
  std::vector<std::string> texts;
  for (int i = 0; i < reads; ++i) texts.push_back(Text(driver.Request(0xE5)));
  return texts;
}

TEST(BitsyncTextTest, EsNoCarriesRepeatableNoiseAroundTheScenarioValue) {
  BitsyncDriver first;
  Program(first, kSignalSource, kSignalRate, kBandwidthHalfPercent);
  const std::vector<std::string> texts = EsNoTexts(first, 8);
  bool varies = false;
  for (const std::string& text : texts) {
    ASSERT_EQ(text.size(), 7u);
    EXPECT_EQ(text[0], ' ');  // right-aligned
    EXPECT_NEAR(std::strtod(text.c_str(), nullptr), 15.0, BitsyncSignalModel::kEsNoNoiseDb);
    varies = varies || text != texts[0];
  }
  EXPECT_TRUE(varies);

  BitsyncDriver second;
  Program(second, kSignalSource, kSignalRate, kBandwidthHalfPercent);
  EXPECT_EQ(EsNoTexts(second, 8), texts);

  second.SelectSource(0);
  EXPECT_EQ(Text(second.Request(0xE5)), "    0.0");
}

// FSP on: a 24-bit pattern, no errors allowed, frames of the given length.
std::vector<uint8_t> FspEnable(uint16_t frame_length) {
  std::vector<uint8_t> commands = {0x05, 0xFA, 0xF3, 0x20, 0x00, 0, 0, 0, 0, 24, 0};
  commands.push_back(static_cast<uint8_t>(frame_length >> 8));
  commands.push_back(static_cast<uint8_t>(frame_length & 0xFF));
  commands.push_back(kEnd);
  return commands;
}

uint16_t FspCount(BitsyncDriver& driver) {
  const std::vector<uint8_t> reply = driver.Request(0xE5);
  return static_cast<uint16_t>(reply.at(9) << 8 | reply.at(10));
}

TEST(BitsyncFspTest, EsNoReplyCountsFramesFoundSinceTheLastRead) {
  BitsyncDriver driver;
  Program(driver, kSignalSource, kSignalRate, kBandwidthHalfPercent);
  driver.Pause(1000);
  EXPECT_EQ(FspCount(driver), 0);  // FSP off

  driver.Send(FspEnable(1024));  // 1000 frames a second at 1,024,000 bit/s
  const int64_t start = driver.Nanoseconds();
  FspCount(driver);
  driver.Pause(1000);
  const int64_t elapsed_ms = (driver.Nanoseconds() - start) / 1'000'000;
  EXPECT_EQ(FspCount(driver), elapsed_ms);
  EXPECT_LT(FspCount(driver), elapsed_ms / 4);  // only the frames since the previous read

  driver.Send({0x06, kEnd});
  driver.Pause(1000);
  EXPECT_EQ(FspCount(driver), 0);
  EXPECT_EQ(driver.module.Violations().Total(), 0);
}

}  // namespace
}  // namespace bitsync_test
