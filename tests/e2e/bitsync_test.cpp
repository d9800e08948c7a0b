// The bitsync through the loaded library on the real clock: a setup loaded and read back, the
// quick-react mode the card keeps, lock on the scenario's signal, a bit error test with forced
// errors, and the FSP count. Waits are bounded by short deadlines on the real clock, since the
// library inside the loaded object runs on it.

#include <algorithm>
#include <atomic>
#include <chrono>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "tests/e2e/ZorvDllFixture.h"

namespace zorv_e2e {
namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

constexpr int32_t kLock = 2;
constexpr int32_t kSearch = 1;

// The scenario's signal: source 1 at 1,024,000 bit/s.
BitsyncSetup SignalSetup() {
  BitsyncSetup setup{};
  setup.InputSource = 1;
  setup.InputCode = 5;
  setup.OutputCode = 7;
  setup.LoopBandwidth = 0;  // 2 %
  setup.BitRate = 1'024'000;
  return setup;
}

class BitsyncTest : public ZorvDllTest {
 protected:
  // One healthy card, the API open and the options read, as the operator program's card
  // window does before it loads a setup.
  void LoadCard(const std::string& scenario = "[Bus]\nCards=1\n") {
    Load(scenario);
    ASSERT_EQ(OpenApi(), 1);
    uint8_t option_20_mbit = 0;
    uint8_t option_ber = 0;
    ASSERT_EQ(api().ZorvApiGetBitsyncOptions(0, &option_20_mbit, &option_ber), 0);
    EXPECT_EQ(option_ber, 1);
  }

  // Polls the lock status, as the operator program does (it passes the last status in, since
  // a module in b mode reports a new one on every fourth read only), until it reads `wanted`
  // or a second has passed.
  int32_t WaitForStatus(int32_t wanted) {
    int32_t status = 0;
    const auto deadline = steady_clock::now() + milliseconds(1000);
    while (steady_clock::now() < deadline) {
      EXPECT_EQ(api().ZorvApiGetBitsyncStatus(0, &status), 0);
      if (status == wanted) break;
    }
    return status;
  }

  std::vector<std::string> QuickReactLines() const {
    std::vector<std::string> lines;
    for (const zorv_test::LogEntry& entry : log()) {
      if (entry.text.rfind("Quick React Mode", 0) == 0) lines.push_back(entry.text);
    }
    return lines;
  }
};

TEST_F(BitsyncTest, SetupIsReadBackThroughTheProgrammedValues) {
  LoadCard();
  BitsyncSetup setup = SignalSetup();
  setup.BitRate = 1'234'567;
  setup.InputCode = 20;
  setup.OutputCode = 16;
  setup.LoopBandwidth = 6;
  ASSERT_EQ(api().ZorvApiLoadBitsyncSetup(0, &setup), 0);
  uint32_t bit_rate = 0;
  int32_t input_code = -1;
  int32_t output_code = -1;
  uint8_t loop_bandwidth = 0xFF;
  EXPECT_EQ(api().ZorvApiGetBitsyncProgrammedBitRate(0, &bit_rate), 0);
  EXPECT_EQ(api().ZorvApiGetBitsyncProgrammedInputCode(0, &input_code), 0);
  EXPECT_EQ(api().ZorvApiGetBitsyncProgrammedOutputCode(0, &output_code), 0);
  EXPECT_EQ(api().ZorvApiGetBitsyncProgrammedLoopBw(0, &loop_bandwidth), 0);
  EXPECT_EQ(bit_rate, 1'234'567u);
  EXPECT_EQ(input_code, 20);
  EXPECT_EQ(output_code, 16);
  EXPECT_EQ(loop_bandwidth, 6);
  int32_t high = 0;
  int32_t low = 0;
  EXPECT_EQ(api().ZorvApiGetBitsyncFirmware(0, &high, &low), 0);
  EXPECT_EQ(high, 0x0A03);
  EXPECT_EQ(low, 0x92);
}

TEST_F(BitsyncTest, RefusedSetupIsReportedWithTheBitsyncsReason) {
  LoadCard();
  BitsyncSetup setup = SignalSetup();
  setup.BitRate = 100'000'000;
  EXPECT_EQ(api().ZorvApiLoadBitsyncSetup(0, &setup), kZorvApiBitsyncSetupFailed);
  Unload();
  const auto lines = zorv_test::EntriesStartingWith(log(), "Bitsync for card 1 bit rate");
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].code, 1);
  EXPECT_NE(lines[0].text.find("out of range"), std::string::npos) << lines[0].text;
}

TEST_F(BitsyncTest, QuickReactModeIsKeptWhenTheModuleCannotTakeIt) {
  LoadCard();
  const BitsyncSetup setup = SignalSetup();
  ASSERT_EQ(api().ZorvApiLoadBitsyncSetup(0, &setup), 0);
  // While setups hold the bitsync back to back, the quick-react setup cannot go through in
  // the 300 ms it waits; the mode must still be kept for the next load.
  std::atomic<bool> stop{false};
  std::thread loader([&] {
    while (!stop.load()) api().ZorvApiLoadBitsyncSetup(0, &setup);
  });
  std::this_thread::sleep_for(milliseconds(20));
  const int32_t code = api().ZorvApiSetBitsyncQuickReactMode(0, 1);
  stop.store(true);
  loader.join();
  ASSERT_EQ(code, kZorvApiQuickReactFailed);
  ASSERT_EQ(api().ZorvApiLoadBitsyncSetup(0, &setup), 0);
  Unload();
  const auto lines = QuickReactLines();
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines.front(), "Quick React Mode NOT Set");
  EXPECT_EQ(lines.back(), "Quick React Mode Set");
}

TEST_F(BitsyncTest, LocksOnTheScenarioSignalAndSearchesOffIt) {
  LoadCard();
  BitsyncSetup setup = SignalSetup();
  ASSERT_EQ(api().ZorvApiLoadBitsyncSetup(0, &setup), 0);
  EXPECT_EQ(WaitForStatus(kLock), kLock);
  setup.BitRate = 2'000'000;
  ASSERT_EQ(api().ZorvApiLoadBitsyncSetup(0, &setup), 0);
  EXPECT_EQ(WaitForStatus(kSearch), kSearch);
}

TEST_F(BitsyncTest, BitErrorTestCountsForcedErrors) {
  LoadCard();
  BitsyncSetup setup = SignalSetup();
  setup.BerTestingEnabled = 1;
  setup.KnownErrorMode = 1;  // one error in every 1000 bits
  ASSERT_EQ(api().ZorvApiLoadBitsyncSetup(0, &setup), 0);
  ASSERT_EQ(WaitForStatus(kLock), kLock);
  // Each special status read takes a good part of a second on the real clock, so the error
  // count lies between the forced errors of the bit counts read before and after it.
  uint32_t bits_before = 0;
  uint32_t errors = 0;
  uint32_t bits_after = 0;
  ASSERT_EQ(api().ZorvApiGetLinkAnalysisBitCount(0, &bits_before), 0);
  ASSERT_EQ(api().ZorvApiGetLinkAnalysisErrorCount(0, &errors), 0);
  ASSERT_EQ(api().ZorvApiGetLinkAnalysisBitCount(0, &bits_after), 0);
  uint32_t errors_after = 0;
  ASSERT_EQ(api().ZorvApiGetLinkAnalysisErrorCount(0, &errors_after), 0);
  EXPECT_GT(bits_before, 0u);
  EXPECT_GT(bits_after, bits_before);
  EXPECT_GE(errors, bits_before / 1000);
  EXPECT_LE(errors, bits_after / 1000);
  EXPECT_GE(errors_after, bits_after / 1000);
  uint8_t flags[3] = {9, 9, 9};
  ASSERT_EQ(api().ZorvApiGetLinkAnalysisOperationalStatus(0, &flags[0], &flags[1], &flags[2]), 0);
  // Each flag reads 0 when good: correlator locked, no loss since the restart, no overflow.
  EXPECT_EQ(flags[0], 0);
  EXPECT_EQ(flags[1], 0);
  EXPECT_EQ(flags[2], 0);
  uint8_t status[4] = {9, 9, 9, 9};
  ASSERT_EQ(
      api().ZorvApiGetBitSyncOperationalStatus(0, &status[0], &status[1], &status[2], &status[3]),
      0);
  // Signal present, locked, locked above 5 dB; the BER bits (4 and 5) are not passed on.
  EXPECT_EQ(status[0], 1);
  EXPECT_EQ(status[1], 1);
  EXPECT_EQ(status[2], 1);
  EXPECT_EQ(status[3], 0);
  uint8_t bit[5] = {};
  ASSERT_EQ(api().ZorvApiGetBIT(0, &bit[0], &bit[1], &bit[2], &bit[3], &bit[4]), 0);
  EXPECT_EQ(bit[3], 0x1E | 0x40) << "the built-in test shows the running BER test";
}

TEST_F(BitsyncTest, MeasurementTextsAreCopiedWithTheirTerminator) {
  LoadCard();
  const BitsyncSetup setup = SignalSetup();
  ASSERT_EQ(api().ZorvApiLoadBitsyncSetup(0, &setup), 0);
  char text[kZorvApiMinTextBuffer + 8];
  std::fill(std::begin(text), std::end(text), 'x');
  ASSERT_EQ(api().ZorvApiGetSignalVoltage(0, text), 0);
  EXPECT_STREQ(text, "  1.500");
  EXPECT_EQ(text[8], 'x') << "nothing written past the terminator";
  ASSERT_EQ(api().ZorvApiGetGetOffsetFrequency(0, text), 0);
  EXPECT_EQ(std::string(text).size(), 7u) << text;
  ASSERT_EQ(api().ZorvApiGetEstimatedEsNo(0, text), 0);
  EXPECT_EQ(std::string(text).size(), 7u) << text;
}

TEST_F(BitsyncTest, FspCountIsTheOneTheLastEsNoReadKept) {
  LoadCard();
  const BitsyncSetup setup = SignalSetup();
  ASSERT_EQ(api().ZorvApiLoadBitsyncSetup(0, &setup), 0);
  ASSERT_EQ(WaitForStatus(kLock), kLock);
  ASSERT_EQ(api().ZorvApiEnableBsFspSigQualMode(0, 2048, 32, 1, 65131, 10304), 0);
  char text[kZorvApiMinTextBuffer];
  ASSERT_EQ(api().ZorvApiGetEstimatedEsNo(0, text), 0);
  std::this_thread::sleep_for(milliseconds(100));
  ASSERT_EQ(api().ZorvApiGetEstimatedEsNo(0, text), 0);
  uint16_t count = 0;
  ASSERT_EQ(api().ZorvApiGetBsFspCount(0, &count), 0);
  // 100 ms at 1,024,000 bit/s in frames of 2048 bits.
  EXPECT_GE(count, 40);
  std::this_thread::sleep_for(milliseconds(50));
  uint16_t kept = 0;
  ASSERT_EQ(api().ZorvApiGetBsFspCount(0, &kept), 0);
  EXPECT_EQ(kept, count) << "the count is the one the last Es/No read brought";
  EXPECT_EQ(api().ZorvApiEnableBsFspSigQualMode(0, 2048, 0, 1, 65131, 10304), kZorvApiNoBitsync)
      << "a pattern length of 0 is refused";
  ASSERT_EQ(api().ZorvApiDisableBsFspSigQualMode(0), 0);
  ASSERT_EQ(api().ZorvApiGetEstimatedEsNo(0, text), 0);
  ASSERT_EQ(api().ZorvApiGetBsFspCount(0, &count), 0);
  EXPECT_EQ(count, 0);
}

}  // namespace
}  // namespace zorv_e2e
