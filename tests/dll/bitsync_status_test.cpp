// Status, options and special status against the module double: lock status (plain and
// b mode), the configuration read, the programmed values, operational status, built-in test,
// the special status enable file and the debug dump.

#include <gtest/gtest.h>

#include "tests/dll/bitsync_double_fixture.h"

namespace bitsync_test {
namespace {

using Bytes = std::vector<uint8_t>;

struct LockCase {
  uint8_t status;
  int32_t code;
};

class LockStatusTest : public BitsyncDoubleTest, public ::testing::WithParamInterface<LockCase> {};

TEST_P(LockStatusTest, StatusRegisterDecodes) {
  Open();
  module_.status = GetParam().status;
  int32_t code = -1;
  EXPECT_TRUE(bitsync_->GetBitsyncStatus(code));
  EXPECT_EQ(code, GetParam().code);
  EXPECT_EQ(module_.StatusReads(), 1);
  EXPECT_FALSE(bitsync_->IsTransactionInProgress());
}

INSTANTIATE_TEST_SUITE_P(Table, LockStatusTest,
                         ::testing::Values(LockCase{0x03, 2}, LockCase{0x01, 1}, LockCase{0x02, 0},
                                           LockCase{0x13, 5}, LockCase{0x07, 4}));

TEST_F(BitsyncDoubleTest, LockStatusOfAnInvalidOrHeldBitsync) {
  Open();
  ASSERT_TRUE(bitsync_->WaitNotInUse());
  int32_t code = -1;
  EXPECT_TRUE(bitsync_->GetBitsyncStatus(code));
  EXPECT_EQ(code, 3);
  EXPECT_TRUE(module_.accesses.empty());
  bitsync_->EndTransaction();

  keltbitsyncclass2 invalid;
  std::string error_text;
  ASSERT_FALSE(invalid.InitBitsync(0, true, nullptr, error_text));
  EXPECT_FALSE(invalid.GetBitsyncStatus(code));
  EXPECT_EQ(code, 5);
}

struct BModeCase {
  uint8_t operational;
  int32_t code;
};

class BModeLockTest : public BitsyncDoubleTest, public ::testing::WithParamInterface<BModeCase> {};

TEST_P(BModeLockTest, OperationalStatusIsReadOnEveryFourthPoll) {
  Open();
  Configure();
  ASSERT_TRUE(bitsync_->IsBMode());
  module_.Reply(0xE0, {0xE0, 0x03, GetParam().operational});
  for (int poll = 1; poll <= 8; ++poll) {
    int32_t code = 99;
    EXPECT_TRUE(bitsync_->GetBitsyncStatus(code));
    const bool fourth = poll % 4 == 0;
    EXPECT_EQ(code, fourth ? GetParam().code : 99) << "poll " << poll;
    EXPECT_EQ(module_.commands.size(), fourth ? 2u : 0u) << "poll " << poll;
    module_.commands.clear();
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, BModeLockTest,
    ::testing::Values(BModeCase{0x02, 2},    // PLL lock
                      BModeCase{0x01, 1},    // signal only
                      BModeCase{0x00, 1},    // b mode never reports no signal
                      BModeCase{0x12, 1},    // BER test running, correlator not locked
                      BModeCase{0x32, 2},    // BER test running and its correlator locked
                      BModeCase{0x30, 1}));  // correlator locked without PLL lock

TEST_F(BitsyncDoubleTest, BModeOperationalStatusFailureIsAnError) {
  Open();
  Configure();
  module_.reply_delay_reads = ModuleDouble::kNever;
  module_.Reply(0xE0, {0xE0, 0x03, 0x02});
  int32_t code = 99;
  for (int poll = 1; poll <= 3; ++poll) EXPECT_TRUE(bitsync_->GetBitsyncStatus(code));
  EXPECT_FALSE(bitsync_->GetBitsyncStatus(code));
  EXPECT_EQ(code, 4);
}

struct ConfigurationCase {
  const char* name;
  std::array<uint8_t, 6> bytes;
  uint8_t option_20mbit;
  uint32_t high;
  uint32_t low;
  uint32_t date;
  bool newer;
  bool b_mode;
  const char* firmware_line;
};

class ConfigurationTest : public BitsyncDoubleTest,
                          public ::testing::WithParamInterface<ConfigurationCase> {};

TEST_P(ConfigurationTest, FormatDateAndOptionsDecode) {
  const ConfigurationCase& c = GetParam();
  Open();
  module_.Reply(0xED, {c.bytes.begin(), c.bytes.end()});
  uint8_t option_20mbit = 9;
  uint8_t option_bert = 9;
  uint32_t high = 9;
  uint32_t low = 9;
  ASSERT_TRUE(bitsync_->ReadBitsyncConfiguration(option_20mbit, option_bert, high, low));
  EXPECT_EQ(option_20mbit, c.option_20mbit);
  EXPECT_EQ(option_bert, 1);
  EXPECT_EQ(high, c.high);
  EXPECT_EQ(low, c.low);
  EXPECT_EQ(bitsync_->FirmwareVersionLow(), c.low);
  EXPECT_EQ(bitsync_->FirmwareDateCode(), c.date);
  EXPECT_EQ(bitsync_->IsNewerConfigurationFormat(), c.newer);
  EXPECT_EQ(bitsync_->IsBMode(), c.b_mode);
  EXPECT_TRUE(bitsync_->TakesSpecialCommands());
  EXPECT_EQ(scratch_.Count(c.firmware_line), 1);
  EXPECT_EQ(scratch_.Count("Bitsync (b mode) in use"), c.b_mode ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(Table, ConfigurationTest,
                         ::testing::Values(ConfigurationCase{"OlderWith20Mbit",
                                                             {0xED, 6, '2', 0xEE, 0x97, 0x00},
                                                             1,
                                                             0x97EE,
                                                             0,
                                                             0x07070E,
                                                             false,
                                                             true,
                                                             "FIRMWARE VERSION 97EE : 0"},
                                           ConfigurationCase{"OlderWithout20Mbit",
                                                             {0xED, 6, '1', 0xED, 0x97, 0x91},
                                                             0,
                                                             0x97ED,
                                                             145,
                                                             0x07070D,
                                                             false,
                                                             false,
                                                             "FIRMWARE VERSION 97ED : 145"},
                                           ConfigurationCase{"NewerBMode",
                                                             {0xED, 6, 'N', 0x07, 0x07, 0x0E},
                                                             1,
                                                             0x0707,
                                                             14,
                                                             0x07070E,
                                                             true,
                                                             true,
                                                             "FIRMWARE VERSION 0707 : 14"},
                                           ConfigurationCase{"NewerBeforeBMode",
                                                             {0xED, 6, 'N', 0x07, 0x07, 0x0D},
                                                             1,
                                                             0x0707,
                                                             13,
                                                             0x07070D,
                                                             true,
                                                             false,
                                                             "FIRMWARE VERSION 0707 : 13"},
                                           ConfigurationCase{"NewerWithout20Mbit",
                                                             {0xED, 6, 'O', 0x0A, 0x03, 0x92},
                                                             0,
                                                             0x0A03,
                                                             146,
                                                             0x0A0392,
                                                             true,
                                                             true,
                                                             "FIRMWARE VERSION 0A03 : 146"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(BitsyncDoubleTest, ConfigurationLogLinesAreExact) {
  Open();
  module_.Reply(0xED, {0xED, 0x06, 0x32, 0xEE, 0x97, 0x00});
  uint8_t option_20mbit = 0;
  uint8_t option_bert = 0;
  uint32_t high = 0;
  uint32_t low = 0;
  ASSERT_TRUE(bitsync_->ReadBitsyncConfiguration(option_20mbit, option_bert, high, low));
  std::vector<std::string> texts;
  for (const auto& line : scratch_.Lines()) texts.push_back(line.text);
  EXPECT_EQ(texts,
            (std::vector<std::string>{
                "Bitsync Configuation bytes for Bitsync # 1 = 0xED 0x06 0x32 0xEE 0x97 0x00 ",
                "FIRMWARE VERSION 97EE : 0", "Bitsync (b mode) in use",
                "20 MBit option installed is YES", "Bert Function option installed is YES"}));
}

TEST_F(BitsyncDoubleTest, ConfigurationFailingFiveTimesFallsBackAndStopsSpecialCommands) {
  Open();
  module_.reply_delay_reads = ModuleDouble::kNever;
  module_.Reply(0xED, {0xED, 0x06, 0x4E, 0x0A, 0x03, 0x92});
  uint8_t option_20mbit = 9;
  uint8_t option_bert = 9;
  uint32_t high = 9;
  uint32_t low = 9;
  EXPECT_FALSE(bitsync_->ReadBitsyncConfiguration(option_20mbit, option_bert, high, low));
  EXPECT_EQ(option_20mbit, 1);
  EXPECT_EQ(option_bert, 0);
  EXPECT_EQ(high, 0u);
  EXPECT_EQ(low, 0u);
  EXPECT_FALSE(bitsync_->TakesSpecialCommands());
  std::vector<int32_t> codes;
  for (const auto& line : scratch_.Lines()) {
    if (line.text == "RequestSpecialStatus() failed") codes.push_back(line.code);
  }
  EXPECT_EQ(codes, (std::vector<int32_t>{0, 1, 2, 3, 4}));
  const auto last = scratch_.LinesWith("RequestSpecialStatus() failed 5 times");
  ASSERT_EQ(last.size(), 1u);
  EXPECT_EQ(last[0].code, 255);
}

TEST_F(BitsyncDoubleTest, DisableBertFileHidesTheBerOption) {
  scratch_.WriteFile("disablebert.txt", "");
  Open();
  module_.Reply(0xED, {0xED, 0x06, 0x4E, 0x0A, 0x03, 0x92});
  uint8_t option_20mbit = 0;
  uint8_t option_bert = 9;
  uint32_t high = 0;
  uint32_t low = 0;
  ASSERT_TRUE(bitsync_->ReadBitsyncConfiguration(option_20mbit, option_bert, high, low));
  EXPECT_EQ(option_bert, 0);
  std::vector<std::string> texts;
  for (const auto& line : scratch_.Lines()) texts.push_back(line.text);
  ASSERT_GE(texts.size(), 7u);
  const std::vector<std::string> tail(texts.end() - 7, texts.end());
  EXPECT_EQ(tail, (std::vector<std::string>{
                      "===================================================================",
                      "----------BERT FUNCTION DISABLED------",
                      "     remove file disablebert.txt and restart to enable    ",
                      "----------BERT FUNCTION DISABLED------",
                      "===================================================================",
                      "20 MBit option installed is YES", "Bert Function option installed is NO"}));
}

TEST_F(BitsyncDoubleTest, ProgrammedBitRateDecodesTheDigitCommands) {
  Open();
  Configure();
  module_.Reply(0xE9, {0xE9, 0x0A, 0x90, 0x11, 0x20, 0x32, 0x44, 0x50, 0x60, 0x70});
  uint32_t bit_rate = 0;
  ASSERT_TRUE(bitsync_->GetBitsyncProgrammedBitRate(bit_rate));
  EXPECT_EQ(bit_rate, 1'024'000u);
  module_.Reply(0xE9, {0xE9, 0x0A, 0x99, 0x19, 0x29, 0x39, 0x49, 0x59, 0x69, 0x79});
  ASSERT_TRUE(bitsync_->GetBitsyncProgrammedBitRate(bit_rate));
  EXPECT_EQ(bit_rate, 99'999'999u);
}

struct CodeCase {
  uint8_t command;
  uint8_t byte;
  bool known;
  int32_t value;  // the value handed back (unchanged from -1 when unknown, for output codes)
};

class ProgrammedCodeTest : public BitsyncDoubleTest,
                           public ::testing::WithParamInterface<CodeCase> {};

TEST_P(ProgrammedCodeTest, ReplyByteDecodes) {
  const CodeCase& c = GetParam();
  Open();
  Configure();
  module_.Reply(c.command, {c.command, 0x03, c.byte});
  int32_t value = -1;
  uint8_t loop = 0xEE;
  bool read = false;
  if (c.command == 0xEA) read = bitsync_->GetBitsyncProgrammedInputCode(value);
  if (c.command == 0xEB) read = bitsync_->GetBitsyncProgrammedOutputCode(value);
  if (c.command == 0xEC) {
    read = bitsync_->GetBitsyncProgrammedLoopBw(loop);
    value = loop;
  }
  EXPECT_EQ(read, c.known);
  EXPECT_EQ(value, c.value);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ProgrammedCodeTest,
    ::testing::Values(CodeCase{0xEA, 0xA0, true, 0}, CodeCase{0xEA, 0xAF, true, 15},
                      CodeCase{0xEA, 0xD0, true, 16}, CodeCase{0xEA, 0xDD, true, 29},
                      CodeCase{0xEA, 0xDE, false, 0xDE},  // unknown: handed back raw
                      CodeCase{0xEA, 0xB0, false, 0xB0}, CodeCase{0xEB, 0xB0, true, 0},
                      CodeCase{0xEB, 0xBF, true, 15}, CodeCase{0xEB, 0xDE, true, 16},
                      CodeCase{0xEB, 0xDF, true, 17},
                      CodeCase{0xEB, 0xA0, false, -1},  // unknown: left alone
                      CodeCase{0xEC, 0x8B, true, 0}, CodeCase{0xEC, 0x88, true, 1},
                      CodeCase{0xEC, 0x85, true, 2}, CodeCase{0xEC, 0x82, true, 3},
                      CodeCase{0xEC, 0x81, true, 4}, CodeCase{0xEC, 0x8F, true, 5},
                      CodeCase{0xEC, 0x8E, true, 6}, CodeCase{0xEC, 0x8D, true, 7},
                      CodeCase{0xEC, 0xFF, true, 5},  // bits 4 to 6 are ignored
                      CodeCase{0xEC, 0x80, true, 7}));

TEST_F(BitsyncDoubleTest, FailedInputCodeReadLogsAndLeavesTheValue) {
  Open();
  Configure();
  module_.reply_delay_reads = ModuleDouble::kNever;
  module_.Reply(0xEA, {0xEA, 0x03, 0xA1});
  int32_t value = -1;
  EXPECT_FALSE(bitsync_->GetBitsyncProgrammedInputCode(value));
  EXPECT_EQ(value, -1);
  const auto lines =
      scratch_.LinesWith("getbitsyncprogrammedinputcodestatus failed at requestspecialstatus");
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].code, 255);
}

TEST_F(BitsyncDoubleTest, OperationalStatusAndBuiltInTestPassTheBytesOn) {
  Open();
  Configure();
  module_.Reply(0xE0, {0xE0, 0x03, 0xA5});
  module_.Reply(0xE8, {0xE8, 0x07, 0xBB, 0x1E, 0xA1, 0x5E, 0x3F});
  std::array<bool, 8> operational{};
  ASSERT_TRUE(bitsync_->GetBitsyncOperationalStatus(operational));
  EXPECT_EQ(operational, (std::array<bool, 8>{true, false, true, false, false, true, false, true}));
  std::array<uint8_t, 5> results{};
  ASSERT_TRUE(bitsync_->GetBitsyncBIT(results));
  EXPECT_EQ(results, (std::array<uint8_t, 5>{0xBB, 0x1E, 0xA1, 0x5E, 0x3F}));
}

// The enable flags are process-wide: every test leaves them all on again.
class SpecialStatusConfigTest : public BitsyncDoubleTest {
 protected:
  void TearDown() override {
    std::string all_on = "[SPECIAL STATUS COMMANDS]\r\n";
    for (const char* key : {"DoE0", "DoE1", "DoE2", "DoE3", "DoE4", "DoE5", "DoE6", "DoE7", "DoE8",
                            "DoE9", "DoEA", "DoEB", "DoEC"}) {
      all_on += std::string(key) + "=YES\r\n";
    }
    scratch_.WriteFile("KELTDOSPECIAL.CFG", all_on);
    keltbitsyncclass2::LoadSpecialStatusConfig();
    for (uint8_t command = 0xE0; command <= 0xEC; ++command) {
      EXPECT_TRUE(keltbitsyncclass2::SpecialStatusEnabled(command));
    }
    BitsyncDoubleTest::TearDown();
  }

  void ReplyToRateAndInputCode() {
    module_.Reply(0xE9, {0xE9, 0x0A, 0x90, 0x11, 0x20, 0x32, 0x44, 0x50, 0x60, 0x70});
    module_.Reply(0xEA, {0xEA, 0x03, 0xA3});
  }
};

TEST_F(SpecialStatusConfigTest, SwitchedOffReadsSkipOnlyTheirOwnCommand) {
  scratch_.WriteFile("KELTDOSPECIAL.CFG", "[SPECIAL STATUS COMMANDS]\r\nDoE9=NO\r\n");
  Open();
  Configure();
  ReplyToRateAndInputCode();
  uint32_t bit_rate = 7;
  EXPECT_TRUE(bitsync_->GetBitsyncProgrammedBitRate(bit_rate));
  EXPECT_EQ(bit_rate, 7u);
  EXPECT_TRUE(module_.commands.empty());
  int32_t input_code = -1;
  EXPECT_TRUE(bitsync_->GetBitsyncProgrammedInputCode(input_code));
  EXPECT_EQ(input_code, 3);
  EXPECT_EQ(module_.commands, (Bytes{0xEA, 0x0A}));

  // Read again at every construction: a value other than YES switches off, a missing key
  // keeps the last value.
  scratch_.WriteFile("KELTDOSPECIAL.CFG", "[SPECIAL STATUS COMMANDS]\r\nDoE9=YES\r\nDoEA=yes\r\n");
  keltbitsyncclass2 second;
  scratch_.WriteFile("KELTDOSPECIAL.CFG", "[SPECIAL STATUS COMMANDS]\r\nDoE9=YES\r\n");
  keltbitsyncclass2 third;
  module_.commands.clear();
  input_code = -1;
  EXPECT_TRUE(bitsync_->GetBitsyncProgrammedInputCode(input_code));
  EXPECT_EQ(input_code, -1);
  EXPECT_TRUE(module_.commands.empty());
  EXPECT_TRUE(bitsync_->GetBitsyncProgrammedBitRate(bit_rate));
  EXPECT_EQ(bit_rate, 1'024'000u);
}

TEST_F(BitsyncDoubleTest, StatusDumpLogsEveryReadValue) {
  Open();
  Configure();
  module_.Reply(0xE9, {0xE9, 0x0A, 0x90, 0x11, 0x20, 0x32, 0x44, 0x50, 0x60, 0x70});
  module_.Reply(0xEA, {0xEA, 0x03, 0xA5});
  module_.Reply(0xEB, {0xEB, 0x03, 0xB7});
  module_.Reply(0xEC, {0xEC, 0x03, 0x82});
  module_.Reply(0xE8, {0xE8, 0x07, 0xBB, 0x1E, 0xA1, 0x5E, 0x3F});
  bitsync_->LogBitsyncStatusReads();
  for (const char* text :
       {"<<<<<<<<<<<< Status Reads from The Bitsync >>>>>>>>>>>>>>>", "option20mbit = YES",
        "optionbert = YES", "firmwareversionhi = 0x00000A03", "firmwareversionlo = 0x00000092",
        "bitrate = 1024000", "inputcode = 5", "outputcode = 7", "loopbw = 3",
        "overallbitstatus = 187", "serialinterfacestatus = 30", "internalswversionstatus = 161",
        "syncpcmgenstatus = 94", "powermonitorstatus = 63",
        "------------ DONE with Status Reads from The Bitsync ---------------"}) {
    EXPECT_EQ(scratch_.Count(text), 1) << text;
  }
  int rules = 0;
  for (const auto& line : scratch_.Lines()) rules += line.text == "-" ? 1 : 0;
  EXPECT_EQ(rules, 6);
}

}  // namespace
}  // namespace bitsync_test
