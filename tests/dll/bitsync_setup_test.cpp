// Setup programming against the module double: the encoded commands in the log and on the
// wire, the input source select, both setup transactions, their refusals and the debug trace.
// The encoding itself is tested on the encoder (bitsync_encoding_test.cpp).

#include <gtest/gtest.h>

#include "tests/dll/bitsync_double_fixture.h"

namespace bitsync_test {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Span(std::span<const uint8_t> commands) {
  return {commands.begin(), commands.end()};
}

TEST_F(BitsyncDoubleTest, EncodingLogsTheCodeSelectionsWithoutDebug) {
  Open();
  ASSERT_FALSE(bitsync_->IsDebug());
  BitsyncSetup setup = BaseSetup();
  setup.InputCode = 31;
  setup.OutputCode = 18;
  ASSERT_TRUE(bitsync_->FillInCommandAry(setup, 146, 0));
  ASSERT_TRUE(bitsync_->FillInCommandAryQuickReact(1));
  std::vector<std::string> texts;
  for (const auto& line : scratch_.Lines()) {
    EXPECT_EQ(line.code, 0);
    texts.push_back(line.text);
  }
  EXPECT_EQ(texts, (std::vector<std::string>{"INV_RNRZ-9 Input Code Set", "RNRZ-9 Output Code Set",
                                             "Quick React Mode NOT Set", "0 Deg Output Clock Set",
                                             "Quick React Mode Set"}));
}

struct SourceCase {
  bool readback;
  uint8_t previous_control;
  int32_t source;
  uint8_t written;
};

class InputSourceTest : public BitsyncDoubleTest,
                        public ::testing::WithParamInterface<SourceCase> {};

TEST_P(InputSourceTest, SelectBitsGoIntoTheControlRegister) {
  module_.readback = GetParam().readback;
  Open();
  bitsync_->WriteBitsyncRegister(0x0F, GetParam().previous_control);
  Forget();
  BitsyncSetup setup = BaseSetup();
  setup.InputSource = GetParam().source;
  EXPECT_TRUE(bitsync_->SetBitsyncInputSource(setup));
  EXPECT_EQ(module_.Writes(0x0F), Bytes{GetParam().written});
}

INSTANTIATE_TEST_SUITE_P(
    Table, InputSourceTest,
    ::testing::Values(SourceCase{true, 0x00, 7, 0x1F},    // 3 in bits 1..0, 1 in bits 5..4
                      SourceCase{false, 0x00, 7, 0x0F},   // clamped to 3 without read-back
                      SourceCase{true, 0x00, 0, 0x0C},    // source 0 selects nothing
                      SourceCase{true, 0x00, 11, 0x2F},   // the highest source
                      SourceCase{true, 0x00, 12, 0x0C},   // beyond the table: source 0
                      SourceCase{true, 0x00, -1, 0x0C},   // negative: source 0
                      SourceCase{true, 0xC3, 1, 0xCD}));  // bits 6 and 7 are kept

TEST_F(BitsyncDoubleTest, InputSourceIsTakenWhileTheModuleClearsBusyWithinTenReadings) {
  Open();
  module_.busy_reads = 9;
  EXPECT_TRUE(bitsync_->SetBitsyncInputSource(BaseSetup()));
  module_.busy_reads = 10;
  EXPECT_FALSE(bitsync_->SetBitsyncInputSource(BaseSetup()));
  EXPECT_EQ(module_.StatusReads(), 20);
}

TEST_F(BitsyncDoubleTest, CompleteSetupStrobesTheWholeListAndReleasesTheFlag) {
  Open();
  Configure();
  BitsyncSetup setup = BaseSetup();
  setup.InputSource = 2;
  std::string error_text;
  ASSERT_TRUE(bitsync_->SendCompleteBitsyncSetup(setup, 1, error_text));
  EXPECT_EQ(module_.commands, Span(bitsync_->Commands()));
  EXPECT_EQ(module_.commands.size(), 22u);
  EXPECT_EQ(module_.Writes(0x0F).front(), 0x0E);
  EXPECT_FALSE(bitsync_->IsTransactionInProgress());
  EXPECT_TRUE(bitsync_->IsValid());
  EXPECT_EQ(error_text, "");
}

TEST_F(BitsyncDoubleTest, QuickReactSetupSendsTwoCommands) {
  Open();
  std::string error_text;
  ASSERT_TRUE(bitsync_->SendBitsyncSetupQuickReactMode(1, error_text));
  EXPECT_EQ(module_.commands, (Bytes{0x0E, 0x0A}));
  ASSERT_TRUE(bitsync_->SendBitsyncSetupQuickReactMode(0, error_text));
  EXPECT_EQ(module_.commands, (Bytes{0x0E, 0x0A, 0x04, 0x0A}));
  // No source selection in this transaction.
  EXPECT_EQ(module_.Writes(0x0F), (Bytes{0x00, 0x04, 0x00, 0x04, 0x00, 0x04, 0x00, 0x04}));
}

TEST_F(BitsyncDoubleTest, SourceSelectionNotTakenInvalidatesTheBitsync) {
  Open();
  module_.busy_reads = 10;
  std::string error_text;
  EXPECT_FALSE(bitsync_->SendCompleteBitsyncSetup(BaseSetup(), 0, error_text));
  EXPECT_EQ(error_text, "Bitsync for card 1 Invalid bitsync source command.");
  const auto lines = scratch_.Lines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].text, "Bitsync for card 1 Invalid bitsync source command.");
  EXPECT_EQ(lines[0].code, 1);
  EXPECT_EQ(lines[1].text,
            "Bitsync for card 1 No communication with the bitsync, setting the bitsync invalid");
  EXPECT_EQ(lines[1].code, 1);
  EXPECT_TRUE(module_.commands.empty());
  EXPECT_FALSE(bitsync_->IsValid());
  EXPECT_FALSE(bitsync_->IsTransactionInProgress());
}

struct RefusalCase {
  const char* name;
  bool quick_react;
  bool hold_flag;
  bool invalidate;
  uint32_t bit_rate;
  const char* reason;
};

class SetupRefusalTest : public BitsyncDoubleTest,
                         public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(SetupRefusalTest, RefusedWithoutTouchingTheModuleAndWithAReason) {
  const RefusalCase& c = GetParam();
  if (c.invalidate) module_.status = 0x10;
  bitsync_ = std::make_unique<keltbitsyncclass2>();
  std::string init_text;
  ASSERT_EQ(bitsync_->InitBitsync(0, true, module_.Handle(), init_text), !c.invalidate);
  Forget();
  if (c.hold_flag) {
    ASSERT_TRUE(bitsync_->WaitNotInUse());
  }
  BitsyncSetup setup = BaseSetup();
  setup.BitRate = c.bit_rate;
  std::string error_text;
  const bool sent = c.quick_react ? bitsync_->SendBitsyncSetupQuickReactMode(1, error_text)
                                  : bitsync_->SendCompleteBitsyncSetup(setup, 0, error_text);
  EXPECT_FALSE(sent);
  EXPECT_NE(error_text.find(c.reason), std::string::npos) << error_text;
  EXPECT_TRUE(module_.accesses.empty());
  EXPECT_EQ(bitsync_->IsValid(), !c.invalidate);
  EXPECT_EQ(bitsync_->IsTransactionInProgress(), c.hold_flag);
}

INSTANTIATE_TEST_SUITE_P(
    Table, SetupRefusalTest,
    ::testing::Values(
        RefusalCase{"Invalid", false, false, true, 1'024'000, "invalid"},
        RefusalCase{"InvalidQuickReact", true, false, true, 0, "invalid"},
        RefusalCase{"Busy", false, true, false, 1'024'000, "busy"},
        RefusalCase{"BusyQuickReact", true, true, false, 0, "busy"},
        RefusalCase{"BitRateTooHigh", false, false, false, 100'000'000, "bit rate 100000000"},
        RefusalCase{"BitRateFarTooHigh", false, false, false, 4'000'000'000u, "out of range"}),
    [](const auto& info) { return std::string(info.param.name); });

struct TraceCase {
  bool debug;
  int expected;  // occurrences of each debug line
};

class DebugTraceTest : public BitsyncDoubleTest, public ::testing::WithParamInterface<TraceCase> {};

TEST_P(DebugTraceTest, DebugFlagDecidesTheTraceLines) {
  if (GetParam().debug) scratch_.WriteFile("debugkelt.dbg", "");
  Open();
  Configure();
  ASSERT_EQ(bitsync_->IsDebug(), GetParam().debug);
  std::string error_text;
  ASSERT_TRUE(bitsync_->SendCompleteBitsyncSetup(BaseSetup(), 0, error_text));
  const int n = GetParam().expected;
  EXPECT_EQ(scratch_.Count(" KELT SendCompleteBitsyncSetup Routine START"), n);
  EXPECT_EQ(scratch_.Count(" KELT SendCompleteBitsyncSetup Routine END"), n);
  EXPECT_EQ(scratch_.Count("The Setup Data Used is as follow:"), n);
  EXPECT_EQ(scratch_.Count("<<<<<<<<<<<< Status Reads from The Bitsync >>>>>>>>>>>>>>>"), n);
  const auto writes = scratch_.LinesWith("      Bitsync Register Write ---  Reg : ");
  EXPECT_EQ(writes.empty(), n == 0);
  if (n > 0) {
    // The first write selects the input source.
    EXPECT_EQ(writes[0].text, "      Bitsync Register Write ---  Reg : 0x0F , Data : 0x0C");
    EXPECT_EQ(writes[0].code, 5);
  }
  const auto strobe = scratch_.LinesWith("           strobe command");
  const auto traced = scratch_.LinesWith("Strobe In Command 0x");
  if (n == 0) {
    EXPECT_TRUE(strobe.empty());
    EXPECT_TRUE(traced.empty());
  } else {
    ASSERT_GE(strobe.size(), 2u);
    EXPECT_EQ(strobe[1].code, 0x02);  // the second command, coded by its byte
    ASSERT_GE(traced.size(), 2u);
    EXPECT_EQ(traced[1].text, "Strobe In Command 0x02");
    EXPECT_EQ(traced[1].code, 1);  // coded by its position
  }
  // The code selections are written either way.
  EXPECT_EQ(scratch_.Count("Quick React Mode NOT Set"), 1);
  EXPECT_EQ(scratch_.Count("0 Deg Output Clock Set"), 1);

  Forget();
  ASSERT_TRUE(bitsync_->SendBitsyncSetupQuickReactMode(0, error_text));
  EXPECT_EQ(scratch_.Count(" KELT SendBitsyncSetupQuickReactMode Routine START"), n);
  EXPECT_EQ(scratch_.Count("FillInCommandAryQuickReact()...."), n);
  EXPECT_EQ(scratch_.Count(" KELT SendBitsyncSetupQuickReactMode Routine END"), n);
}

INSTANTIATE_TEST_SUITE_P(OnAndOff, DebugTraceTest,
                         ::testing::Values(TraceCase{true, 1}, TraceCase{false, 0}));

}  // namespace
}  // namespace bitsync_test
