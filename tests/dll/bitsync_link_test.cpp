// Link analysis, signal quality texts and FSP mode against the module double.

#include <gtest/gtest.h>

#include "tests/dll/bitsync_double_fixture.h"

namespace bitsync_test {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes TextReply(uint8_t command, const char (&text)[8]) {
  Bytes reply(text, text + 7);
  reply.insert(reply.begin(), {command, 0x09});
  return reply;
}

class LinkAnalysisTest : public BitsyncDoubleTest {
 protected:
  void SetUp() override {
    Open();
    Configure();
  }
};

TEST_F(LinkAnalysisTest, CountsKeepTheirSignificantBits) {
  uint32_t count = 0;
  module_.Reply(0xE2, {0xE2, 0x06, 0xFF, 0xFF, 0xFF, 0xFF});
  ASSERT_TRUE(bitsync_->GetLinkAnalysisBitCount(count));
  EXPECT_EQ(count, 0x3FFFFFFFu);
  module_.Reply(0xE2, {0xE2, 0x06, 0x01, 0x02, 0x03, 0x04});
  ASSERT_TRUE(bitsync_->GetLinkAnalysisBitCount(count));
  EXPECT_EQ(count, 0x04030201u);
  module_.Reply(0xE3, {0xE3, 0x05, 0x01, 0x02, 0x03});
  ASSERT_TRUE(bitsync_->GetLinkAnalysisErrorCount(count));
  EXPECT_EQ(count, 0x030201u);
}

TEST_F(LinkAnalysisTest, OperationalStatusTakesBitZeroOfEachByte) {
  module_.Reply(0xE4, {0xE4, 0x05, 0x01, 0xFE, 0x03});
  bool locked = false;
  bool history = true;
  bool overflow = false;
  ASSERT_TRUE(bitsync_->GetLinkAnalysisOperationalStatus(locked, history, overflow));
  EXPECT_TRUE(locked);
  EXPECT_FALSE(history);
  EXPECT_TRUE(overflow);
}

TEST_F(LinkAnalysisTest, TextsAreTheSevenCharactersSent) {
  std::string text = "old";
  module_.Reply(0xE6, TextReply(0xE6, "  1.500"));
  ASSERT_TRUE(bitsync_->GetSignalVoltage(text));
  EXPECT_EQ(text, "  1.500");
  module_.Reply(0xE7, TextReply(0xE7, "-1234.5"));
  ASSERT_TRUE(bitsync_->GetOffsetFrequency(text));
  EXPECT_EQ(text, "-1234.5");
  // A zero byte ends the text where it stands.
  module_.Reply(0xE7, {0xE7, 0x09, '1', '2', 0x00, '4', '5', '6', '7'});
  ASSERT_TRUE(bitsync_->GetOffsetFrequency(text));
  EXPECT_EQ(text, "12");
  module_.Reply(0xE5, {0xE5, 0x0B, '1', '2', '.', '3', ' ', 'd', 'B', 0x00, 0x07});
  ASSERT_TRUE(bitsync_->GetEstimatedEsNo(text));
  EXPECT_EQ(text, "12.3 dB");
}

TEST_F(LinkAnalysisTest, FailedReadsLeaveTheOutputsAlone) {
  module_.reply_delay_reads = ModuleDouble::kNever;
  module_.Reply(0xE6, TextReply(0xE6, "  1.500"));
  module_.Reply(0xE2, {0xE2, 0x06, 0x01, 0x02, 0x03, 0x04});
  std::string text = "old";
  EXPECT_FALSE(bitsync_->GetSignalVoltage(text));
  EXPECT_EQ(text, "old");
  uint32_t count = 77;
  EXPECT_FALSE(bitsync_->GetLinkAnalysisBitCount(count));
  EXPECT_EQ(count, 77u);
}

struct FspRefusalCase {
  int32_t f1, f2, f3;
};

class FspRefusalTest : public LinkAnalysisTest,
                       public ::testing::WithParamInterface<FspRefusalCase> {};

TEST_P(FspRefusalTest, ParametersOutOfRangeSendNothing) {
  const FspRefusalCase& c = GetParam();
  EXPECT_FALSE(bitsync_->EnableBsFspSigQualMode(c.f1, c.f2, c.f3, 1, 1));
  EXPECT_TRUE(module_.accesses.empty());
  EXPECT_TRUE(scratch_.Lines().empty());
  EXPECT_FALSE(bitsync_->IsFspModeOn());
}

INSTANTIATE_TEST_SUITE_P(Table, FspRefusalTest,
                         ::testing::Values(FspRefusalCase{10, 0, 0},       // F2 below 1
                                           FspRefusalCase{100, 65, 0},     // F2 above 64
                                           FspRefusalCase{10, 1, 15},      // F3 above 14
                                           FspRefusalCase{10, 1, -1},      // F3 below 0
                                           FspRefusalCase{3, 4, 0},        // F1 below F2
                                           FspRefusalCase{65536, 1, 0}));  // F1 above 65535

TEST_F(LinkAnalysisTest, EnableSendsTheEncodedCommandsAndTurnsTheModeOn) {
  ASSERT_TRUE(bitsync_->EnableBsFspSigQualMode(0x1234, 64, 14, 1, 3));
  EXPECT_EQ(module_.commands, bitsync::EncodeFspEnable(0x1234, 64, 14, 1, 3));
  EXPECT_TRUE(bitsync_->IsFspModeOn());
}

TEST_F(LinkAnalysisTest, FspDisableSendsTwoCommandsAndTheCountFollowsTheMode) {
  module_.Reply(0xE5, {0xE5, 0x0B, '1', '2', '.', '3', ' ', 'd', 'B', 0x01, 0x02});
  std::string text;
  uint16_t count = 99;
  ASSERT_TRUE(bitsync_->GetEstimatedEsNo(text));
  ASSERT_TRUE(bitsync_->GetBsFspCount(count));
  EXPECT_EQ(count, 0);

  ASSERT_TRUE(bitsync_->EnableBsFspSigQualMode(100, 10, 2, 1000, 10));
  ASSERT_TRUE(bitsync_->GetEstimatedEsNo(text));
  ASSERT_TRUE(bitsync_->GetBsFspCount(count));
  EXPECT_EQ(count, 0x0102);

  module_.commands.clear();
  ASSERT_TRUE(bitsync_->DisableBsFspSigQualMode());
  EXPECT_EQ(module_.commands, (Bytes{0x06, 0x0A}));
  EXPECT_FALSE(bitsync_->IsFspModeOn());
  ASSERT_TRUE(bitsync_->GetEstimatedEsNo(text));
  ASSERT_TRUE(bitsync_->GetBsFspCount(count));
  EXPECT_EQ(count, 0);
}

TEST_F(BitsyncDoubleTest, OlderModuleRefusesEveryFspOperation) {
  Open();
  Configure(kOlderConfiguration);
  uint8_t option = 9;
  EXPECT_FALSE(bitsync_->GetBsEnableFspOption(option));
  EXPECT_EQ(option, 0);
  EXPECT_FALSE(bitsync_->EnableBsFspSigQualMode(100, 10, 2, 1, 1));
  EXPECT_FALSE(bitsync_->DisableBsFspSigQualMode());
  uint16_t count = 0;
  EXPECT_FALSE(bitsync_->GetBsFspCount(count));
  EXPECT_TRUE(module_.accesses.empty());

  // The Es/No read of an older module asks for nine bytes and keeps no count.
  module_.Reply(0xE5, {0xE5, 0x09, '1', '2', '.', '3', ' ', 'd', 'B', 0x01, 0x02});
  std::string text;
  ASSERT_TRUE(bitsync_->GetEstimatedEsNo(text));
  EXPECT_EQ(text, "12.3 dB");
  EXPECT_EQ(module_.acknowledges, 11);
}

TEST_F(LinkAnalysisTest, FspOptionFollowsTheNewerFormat) {
  uint8_t option = 0;
  EXPECT_TRUE(bitsync_->GetBsEnableFspOption(option));
  EXPECT_EQ(option, 1);
}

TEST_F(LinkAnalysisTest, FspTransactionsFailWhenAnotherHoldsTheBitsync) {
  ASSERT_TRUE(bitsync_->WaitNotInUse());
  EXPECT_FALSE(bitsync_->EnableBsFspSigQualMode(100, 10, 2, 1, 1));
  EXPECT_FALSE(bitsync_->DisableBsFspSigQualMode());
  bitsync_->EndTransaction();
  EXPECT_TRUE(module_.accesses.empty());
  EXPECT_TRUE(bitsync_->IsValid());
  EXPECT_FALSE(bitsync_->IsFspModeOn());
}

struct FspStuckCase {
  bool enable;
  int busy_after_commands;
  const char* resend_prefix;  // nullptr: the commands went in
  const char* lost_line;
};

class FspStuckTest : public LinkAnalysisTest, public ::testing::WithParamInterface<FspStuckCase> {};

TEST_P(FspStuckTest, StuckModuleEndsTheTransactionWithTheFspPrefix) {
  const FspStuckCase& c = GetParam();
  module_.busy_after_commands = c.busy_after_commands;
  const bool done = c.enable ? bitsync_->EnableBsFspSigQualMode(100, 10, 2, 1, 1)
                             : bitsync_->DisableBsFspSigQualMode();
  EXPECT_FALSE(done);
  if (c.resend_prefix != nullptr) {
    const auto resending = scratch_.LinesWith("Invalid bitsync strobe command..resending");
    ASSERT_EQ(resending.size(), 5u);
    EXPECT_EQ(resending[0].text,
              std::string(c.resend_prefix) + " Invalid bitsync strobe command..resending");
  }
  const auto lost = scratch_.LinesWith("No communication with the bitsync");
  ASSERT_EQ(lost.size(), 1u);
  EXPECT_EQ(lost[0].text, c.lost_line);
  EXPECT_EQ(lost[0].code, 1);
  EXPECT_FALSE(bitsync_->IsValid());
  EXPECT_FALSE(bitsync_->IsTransactionInProgress());
  EXPECT_FALSE(bitsync_->IsFspModeOn());
}

INSTANTIATE_TEST_SUITE_P(
    Table, FspStuckTest,
    ::testing::Values(
        // Refuses the first command: five attempts, then the give-up.
        FspStuckCase{true, 0, "FSP Enable -> Daughtercard for card 1",
                     "FSP Enable -> Daughtercard for card 1 No communication with the bitsync, "
                     "setting the bitsync invalid"},
        FspStuckCase{false, 0, "FSP Disable -> Daughtercard for card 1",
                     "FSP Disable -> Daughtercard for card 1 No communication with the bitsync, "
                     "setting the bitsync invalid"},
        // Takes every command and stays busy: the wait after them is bounded.
        FspStuckCase{true, 14, nullptr,
                     "FSP Enable -> Daughtercard for card 1 No communication with the bitsync, "
                     "setting the bitsync invalid"},
        FspStuckCase{false, 2, nullptr,
                     "FSP Disable -> Daughtercard for card 1 No communication with the bitsync, "
                     "setting the bitsync invalid"}));

}  // namespace
}  // namespace bitsync_test
