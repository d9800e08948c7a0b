// Setup and configuration files: what is written, what is read back, and what a damaged or
// hand-edited file does to the setups in memory.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <sstream>
#include <vector>

#include "app/BitsyncLimits.h"
#include "app/ZorvSetupFiles.h"
#include "platform/file_names.h"
#include "platform/files.h"
#include "platform/profile.h"
#include "tests/app/AppTestFixture.h"
#include "tests/common/UnprivilegedRun.h"

namespace {

using namespace std::string_literals;

std::string Describe(const CardData& card) {
  const BitsyncSetup& b = card.bitsync_setup;
  const IrigSetup& i = card.irig_setup;
  std::ostringstream text;
  text << "Model " << b.Model << " InputSource " << b.InputSource << " InputCode " << b.InputCode
       << " OutputCode " << b.OutputCode << " LoopBandwidth " << b.LoopBandwidth << " BitRate "
       << b.BitRate << " flags " << int(b.BitDecisionDetector) << int(b.QuickReactMode)
       << int(b.StartupAutoTestEnabled) << int(b.Pattern15Bit)
       << int(b.NrzlDcOutputDisabledAtSymbolUnlock) << int(b.NrzlDcOutputDisabledAtEsNo5Db)
       << int(b.PcmEncoderOutputDisabledAtSymbolUnlock) << int(b.PcmEncoderOutputDisabledAtEsNo5Db)
       << int(b.BerTestingEnabled) << int(b.ExtBerMode) << int(b.KnownErrorMode)
       << int(b.Do90DegClkOut) << " quick react " << int(card.quick_react_mode) << " IRIG "
       << i.SourceFormat << int(i.SourceExternal) << int(i.FlywheelEnabled) << i.GeneratorFormat;
  return text.str();
}

// Two cards far from the defaults, with the bit error test on and the record's quick react
// different from the card's byte.
std::vector<CardData> TwoEditedCards() {
  std::vector<CardData> cards(2);
  BitsyncSetup& first = cards[0].bitsync_setup;
  first.Model = 1;
  first.InputSource = 6;  // "SE_INPUT 7 ( J1-35)", with its blank
  first.InputCode = 31;
  first.OutputCode = 18;
  first.LoopBandwidth = 7;
  first.BitRate = 5000000;
  first.BitDecisionDetector = 0;
  first.QuickReactMode = 0;
  first.Pattern15Bit = 0;
  first.NrzlDcOutputDisabledAtEsNo5Db = 1;
  first.PcmEncoderOutputDisabledAtSymbolUnlock = 1;
  first.BerTestingEnabled = 1;
  first.KnownErrorMode = 1;
  first.Do90DegClkOut = 1;
  cards[0].quick_react_mode = 1;
  cards[0].irig_setup = {2, 1, 0, 1};
  BitsyncSetup& second = cards[1].bitsync_setup;
  second.Model = 3;
  second.InputSource = 11;
  second.InputCode = 3;
  second.OutputCode = 17;
  second.LoopBandwidth = 16;
  second.BitRate = 12500000;
  second.ExtBerMode = 1;
  cards[1].irig_setup = {1, 0, 1, 3};
  return cards;
}

// What reading gives back from what was written: the bit error test off, the card's quick
// react byte in the record, and IRIG codes without a name as IRIG B.
CardData AsReadBack(CardData card) {
  card.bitsync_setup.BerTestingEnabled = 0;
  card.bitsync_setup.QuickReactMode = card.quick_react_mode;
  if (card.irig_setup.GeneratorFormat >= 3) card.irig_setup.GeneratorFormat = 0;
  return card;
}

// The key names of one section, in file order.
std::vector<std::string> KeysOf(const std::string& file_text, const std::string& section) {
  std::istringstream lines(file_text);
  std::string line;
  std::vector<std::string> keys;
  bool inside = false;
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty() && line.front() == '[') {
      inside = line == "[" + section + "]";
    } else if (inside && line.find('=') != std::string::npos) {
      keys.push_back(line.substr(0, line.find('=')));
    }
  }
  return keys;
}

void ExpectWithinTheRecordsRanges(const CardData& card) {
  const BitsyncSetup& b = card.bitsync_setup;
  EXPECT_THAT(b.Model, ::testing::AllOf(::testing::Ge(0), ::testing::Le(5)));
  EXPECT_THAT(b.InputSource, ::testing::AllOf(::testing::Ge(0), ::testing::Le(11)));
  EXPECT_THAT(b.InputCode, ::testing::AllOf(::testing::Ge(0), ::testing::Le(31)));
  EXPECT_THAT(b.OutputCode, ::testing::AllOf(::testing::Ge(0), ::testing::Le(18)));
  EXPECT_THAT(b.LoopBandwidth, ::testing::AllOf(::testing::Ge(-1), ::testing::Le(16)));
  EXPECT_THAT(b.BitRate, ::testing::AllOf(::testing::Ge(kMinimumBitRate),
                                          ::testing::Le(MaximumBitRate(b.Model, b.InputCode))));
  EXPECT_EQ(b.BerTestingEnabled, 0);
  EXPECT_THAT(card.irig_setup.SourceFormat, ::testing::AllOf(::testing::Ge(0), ::testing::Le(2)));
  EXPECT_THAT(card.irig_setup.GeneratorFormat,
              ::testing::AllOf(::testing::Ge(0), ::testing::Le(2)));
}

class SetupFileTest : public AppTestFixture {
 protected:
  std::string Configuration() const { return ConfigurationFilePath(); }
};

TEST_F(SetupFileTest, ConfigurationRoundTripsEveryCardWithItsLastSetupFile) {
  ASSERT_EQ(Configuration(), Path("ZORVCFG.CFG"));
  WriteText(Path("PASS1.ZORV"), "");
  const std::vector<CardData> written = TwoEditedCards();

  ASSERT_TRUE(WriteSetupFile(Configuration(), Configuration(), Path("PASS1.ZORV"), written));
  std::vector<CardData> read(2);
  std::string last_setup_file;
  ASSERT_TRUE(ReadSetupFile(Configuration(), Configuration(), last_setup_file, read));

  EXPECT_EQ(last_setup_file, Path("PASS1.ZORV"));
  EXPECT_EQ(Describe(read[0]), Describe(AsReadBack(written[0])));
  EXPECT_EQ(Describe(read[1]), Describe(AsReadBack(written[1])));
}

TEST_F(SetupFileTest, SectionsHoldTheirKeysInOrderWithTheCardsQuickReactByte) {
  ASSERT_TRUE(WriteSetupFile(Path("A.ZORV"), Configuration(), "", TwoEditedCards()));
  const std::string text = ReadText(Path("A.ZORV"));

  EXPECT_THAT(
      KeysOf(text, "BITSYNC_0"),
      ::testing::ElementsAre(
          "Model", "InputSource", "InputCode", "OutputCode", "LoopBandwidth", "BitRate",
          "BitDecisionDetector", "StartupAutoTestEnabled", "Pattern15Bit",
          "NrzlDcOutputDisabledAtSymbolUnlock", "NrzlDcOutputDisabledAtEsNo5Db",
          "PcmEncoderOutputDisabledAtSymbolUnlock", "PcmEncoderOutputDisabledAtEsNo5Db",
          "BerTestingEnabled", "ExtBerMode", "KnownErrorMode", "QuickReactMode", "Do90DegClkOut"));
  EXPECT_THAT(KeysOf(text, "IRIG_1"), ::testing::ElementsAre("SourceFormat", "SourceExternal",
                                                             "FlywheelEnabled", "GeneratorFormat"));
  EXPECT_THAT(text, ::testing::HasSubstr("InputSource=SE_INPUT 7 ( J1-35)\r\n"));
  EXPECT_THAT(text, ::testing::HasSubstr("BitRate=5000000\r\n"));
  EXPECT_THAT(text, ::testing::HasSubstr("BerTestingEnabled=YES\r\n"));
  EXPECT_THAT(text, ::testing::HasSubstr("QuickReactMode=YES\r\n"));
  EXPECT_THAT(text, ::testing::HasSubstr("GeneratorFormat=IRIG B\r\n"));
  EXPECT_THAT(text, ::testing::Not(::testing::HasSubstr("CommonArea")));
  EXPECT_LT(text.find("[BITSYNC_1]"), text.find("[IRIG_0]"));
}

TEST_F(SetupFileTest, TwoCardConfigurationReadWithOneCardRestoresCardZeroOnly) {
  const std::vector<CardData> written = TwoEditedCards();
  ASSERT_TRUE(WriteSetupFile(Configuration(), Configuration(), "", written));

  std::vector<CardData> read(2);
  std::string last_setup_file;
  ASSERT_TRUE(ReadSetupFile(Configuration(), Configuration(), last_setup_file,
                            std::span<CardData>(read).first(1)));

  EXPECT_EQ(Describe(read[0]), Describe(AsReadBack(written[0])));
  EXPECT_EQ(Describe(read[1]), Describe(CardData{}));
}

TEST_F(SetupFileTest, LastSetupFileComesOnlyFromTheConfigurationAndMustExist) {
  WriteText(Path("KEPT.ZORV"), "");
  struct Case {
    const char* name;
    std::string file;
    std::string named;
    std::string expected;
  };
  const Case cases[] = {
      {"existing file", Configuration(), Path("KEPT.ZORV"), Path("KEPT.ZORV")},
      {"file gone", Configuration(), Path("GONE.ZORV"), "before"},
      {"empty", Configuration(), "", "before"},
      {"not the configuration", Path("OTHER.ZORV"), Path("KEPT.ZORV"), "before"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteText(c.file, "[CommonArea]\r\nLastSetupFile=" + c.named + "\r\n");
    std::string last_setup_file = "before";
    std::vector<CardData> cards(1);
    EXPECT_TRUE(ReadSetupFile(c.file, Configuration(), last_setup_file, cards));
    EXPECT_EQ(last_setup_file, c.expected);
  }
  std::string last_setup_file;
  std::vector<CardData> cards(1);
  EXPECT_FALSE(ReadSetupFile(Path("NONE.ZORV"), Configuration(), last_setup_file, cards));
}

TEST_F(SetupFileTest, OnlyTheExactConfigurationPathGetsTheCommonArea) {
  const std::vector<CardData> cards(1);
  std::string other_case = Configuration();
  other_case.replace(other_case.size() - 11, 11, "zorvcfg.cfg");

  // Checked before the configuration is written: where file names ignore case, the two names
  // are one file.
  ASSERT_TRUE(WriteSetupFile(other_case, Configuration(), Path("X.ZORV"), cards));
  EXPECT_THAT(ReadText(other_case), ::testing::Not(::testing::HasSubstr("[CommonArea]")));

  ASSERT_TRUE(WriteSetupFile(Configuration(), Configuration(), Path("X.ZORV"), cards));
  EXPECT_THAT(ReadText(Configuration()),
              ::testing::StartsWith("[CommonArea]\r\nLastSetupFile=" + Path("X.ZORV") + "\r\n"));
}

TEST_F(SetupFileTest, LoopBandwidthFollowsTheModelBothWays) {
  struct Case {
    const char* model;
    const char* text;
    int32_t code;
    const char* written;
  };
  const Case cases[] = {
      {"KELT_20", "8", 8, "8"},       {"KELT_20", "-1", -1, "-1"},
      {"KELT_10", "0.01", 7, "0.01"}, {"KELTV2_20", "3.0", 0, "2.0"},
      {"KELTV2_10", "0.5", 2, "0.5"}, {"TAVIN", "3.0", 16, "3.0"},
      {"TAVINX", "8", 0, "0.1"},      {"TAVIN", "0.01", 0, "0.1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.model) + " " + c.text);
    WriteText(Path("IN.ZORV"), std::string("[BITSYNC_0]\r\nModel=") + c.model +
                                   "\r\nLoopBandwidth=" + c.text + "\r\n");
    std::vector<CardData> cards(1);
    std::string last_setup_file;
    ASSERT_TRUE(ReadSetupFile(Path("IN.ZORV"), Configuration(), last_setup_file, cards));
    EXPECT_EQ(cards[0].bitsync_setup.LoopBandwidth, c.code);

    ASSERT_TRUE(WriteSetupFile(Path("OUT.ZORV"), Configuration(), "", cards));
    EXPECT_THAT(ReadText(Path("OUT.ZORV")),
                ::testing::HasSubstr(std::string("LoopBandwidth=") + c.written + "\r\n"));
  }
}

TEST_F(SetupFileTest, ModelWithoutARowKeepsItsLoopBandwidthOutOfTheFile) {
  std::vector<CardData> cards(1);
  cards[0].bitsync_setup.Model = 9;
  cards[0].bitsync_setup.LoopBandwidth = 5;
  ASSERT_TRUE(WriteSetupFile(Path("A.ZORV"), Configuration(), "", cards));
  EXPECT_THAT(ReadText(Path("A.ZORV")), ::testing::Not(::testing::HasSubstr("LoopBandwidth")));

  WriteText(Path("B.ZORV"), "[BITSYNC_0]\r\nLoopBandwidth=0.01\r\n");
  std::string last_setup_file;
  ASSERT_TRUE(ReadSetupFile(Path("B.ZORV"), Configuration(), last_setup_file, cards));
  EXPECT_EQ(cards[0].bitsync_setup.LoopBandwidth, 5);
}

// A setup in memory unlike the defaults, so that a kept field shows.
CardData CurrentCard() {
  CardData card;
  card.bitsync_setup.Model = 1;
  card.bitsync_setup.InputSource = 2;
  card.bitsync_setup.InputCode = 1;
  card.bitsync_setup.OutputCode = 2;
  card.bitsync_setup.LoopBandwidth = 3;
  card.bitsync_setup.BitRate = 2000000;
  card.bitsync_setup.BerTestingEnabled = 1;
  card.bitsync_setup.ExtBerMode = 1;
  card.bitsync_setup.Do90DegClkOut = 1;
  card.quick_react_mode = 1;
  card.irig_setup = {1, 1, 1, 2};
  return card;
}

struct BadInput {
  const char* name;
  std::string file;
  std::function<void(CardData&)> expected_change;
  // Each value not taken as written, and what was taken instead.
  std::vector<std::string> replaced = {};
};

class BadInputTest : public SetupFileTest, public ::testing::WithParamInterface<BadInput> {};

TEST_P(BadInputTest, LoadsWhatIsValidKeepsTheRestAndLogsEachValueItReplaced) {
  WriteText(Path("BAD.ZORV"), GetParam().file);
  std::vector<CardData> cards = {CurrentCard()};
  CardData expected = CurrentCard();
  expected.bitsync_setup.BerTestingEnabled = 0;
  GetParam().expected_change(expected);

  std::string last_setup_file;
  ASSERT_TRUE(ReadSetupFile(Path("BAD.ZORV"), Configuration(), last_setup_file, cards));

  EXPECT_EQ(Describe(cards[0]), Describe(expected));
  ExpectWithinTheRecordsRanges(cards[0]);
  std::vector<std::string> logged;
  for (const std::string& problem : GetParam().replaced) {
    logged.push_back(Path("BAD.ZORV") + " " + problem);
  }
  EXPECT_EQ(LogMessages(1), logged);
}

void NoChange(CardData&) {}

INSTANTIATE_TEST_SUITE_P(
    SetupFile, BadInputTest,
    ::testing::Values(
        BadInput{
            "UnknownNamesGiveRowZero",
            "[BITSYNC_0]\r\nModel=KELT_99\r\nInputSource=SE_INPUT 13\r\nInputCode=nrzl\r\n"
            "OutputCode=NRZ-L\r\n[IRIG_0]\r\nSourceFormat=IRIG Z\r\nGeneratorFormat=irig a\r\n",
            [](CardData& c) {
              c.bitsync_setup.Model = c.bitsync_setup.InputSource = 0;
              c.bitsync_setup.InputCode = c.bitsync_setup.OutputCode = 0;
              c.irig_setup.SourceFormat = c.irig_setup.GeneratorFormat = 0;
            },
            {"[BITSYNC_0] Model=KELT_99: not a model; read as KELT_20",
             "[BITSYNC_0] InputSource=SE_INPUT 13: not an input source; read as SE_INPUT 1 (J1-36)",
             "[BITSYNC_0] InputCode=nrzl: not an input code; read as NRZL",
             "[BITSYNC_0] OutputCode=NRZ-L: not an output code; read as NRZL",
             "[IRIG_0] SourceFormat=IRIG Z: not an IRIG code; read as IRIG B",
             "[IRIG_0] GeneratorFormat=irig a: not an IRIG code; read as IRIG B"}},
        BadInput{"MissingSections", "; nothing for this card\r\n[BITSYNC_1]\r\nModel=TAVIN\r\n",
                 NoChange},
        BadInput{"MissingNameKeysKeepTheirFields", "[BITSYNC_0]\r\nInputCode=BIOM\r\n[IRIG_0]\r\n",
                 [](CardData& c) { c.bitsync_setup.InputCode = 4; }},
        BadInput{"WordForABitRate",
                 "[BITSYNC_0]\r\nBitRate=fast\r\n",
                 NoChange,
                 {"[BITSYNC_0] BitRate=fast: not a whole number of bits per second; kept 2000000"}},
        BadInput{
            "BitRateWithTrailingLetters",
            "[BITSYNC_0]\r\nBitRate=12abc\r\n",
            NoChange,
            {"[BITSYNC_0] BitRate=12abc: not a whole number of bits per second; kept 2000000"}},
        BadInput{"EmptyBitRate",
                 "[BITSYNC_0]\r\nBitRate=\r\n",
                 NoChange,
                 {"[BITSYNC_0] BitRate=: not a whole number of bits per second; kept 2000000"}},
        BadInput{"NegativeBitRate",
                 "[BITSYNC_0]\r\nBitRate=-5\r\n",
                 NoChange,
                 {"[BITSYNC_0] BitRate=-5: outside 10 to 10000000 bit/s for KELT_10 with NRZM; "
                  "kept 2000000"}},
        BadInput{"BitRateBeyond32Bits",
                 "[BITSYNC_0]\r\nBitRate=4294967296000\r\n",
                 NoChange,
                 {"[BITSYNC_0] BitRate=4294967296000: not a whole number of bits per second; "
                  "kept 2000000"}},
        BadInput{"BitRateAboveTheModelsLimit",
                 "[BITSYNC_0]\r\nModel=KELT_10\r\nBitRate=10000001\r\n",
                 NoChange,
                 {"[BITSYNC_0] BitRate=10000001: outside 10 to 10000000 bit/s for KELT_10 with "
                  "NRZM; kept 2000000"}},
        BadInput{"BitRateAboveTheBiphaseLimit",
                 "[BITSYNC_0]\r\nModel=KELT_20\r\nInputCode=BIOL\r\nBitRate=12500001\r\n",
                 [](CardData& c) {
                   c.bitsync_setup.Model = 0;
                   c.bitsync_setup.InputCode = 3;
                 },
                 {"[BITSYNC_0] BitRate=12500001: outside 10 to 12500000 bit/s for KELT_20 with "
                  "BIOL; kept 2000000"}},
        BadInput{"BitRateAtTheLimit",
                 "[BITSYNC_0]\r\nModel=KELT_20\r\nInputCode=BIOL\r\nBitRate=12500000\r\n",
                 [](CardData& c) {
                   c.bitsync_setup.Model = 0;
                   c.bitsync_setup.InputCode = 3;
                   c.bitsync_setup.BitRate = 12500000;
                 }},
        BadInput{"BitErrorTestSwitchedOnInTheFile", "[BITSYNC_0]\r\nBerTestingEnabled=YES\r\n",
                 NoChange},
        BadInput{"FlagsOtherThanYesAreOff",
                 "[BITSYNC_0]\r\nExtBerMode=yes\r\nKnownErrorMode=1\r\nDo90DegClkOut=TRUE\r\n"
                 "[IRIG_0]\r\nFlywheelEnabled=Yes\r\n",
                 [](CardData& c) {
                   c.bitsync_setup.ExtBerMode = c.bitsync_setup.Do90DegClkOut = 0;
                   c.irig_setup.FlywheelEnabled = 0;
                 },
                 {"[BITSYNC_0] ExtBerMode=yes: neither YES nor NO; read as NO",
                  "[BITSYNC_0] KnownErrorMode=1: neither YES nor NO; read as NO",
                  "[BITSYNC_0] Do90DegClkOut=TRUE: neither YES nor NO; read as NO",
                  "[IRIG_0] FlywheelEnabled=Yes: neither YES nor NO; read as NO"}},
        BadInput{"QuickReactFromTheFileAlsoSetsTheCardsByte",
                 "[BITSYNC_0]\r\nQuickReactMode=NO\r\n",
                 [](CardData& c) {
                   c.bitsync_setup.QuickReactMode = 0;
                   c.quick_react_mode = 0;
                 }},
        // Garbage, not a byte order mark: Windows reads a file that starts with one as UTF-16.
        BadInput{"GarbageBytes",
                 "\xfd\xfe\x00junk\x01\r\n[BITSYNC_0]\r\n\x02\x03=\x04\r\nModel=TAVIN\r\n"
                 "\x80\x00\x82\r\nInputCode=BIOL\r\nOutputCode=\x7f\x80\r\n"s,
                 [](CardData& c) {
                   c.bitsync_setup.Model = 2;
                   c.bitsync_setup.InputCode = 3;
                   c.bitsync_setup.OutputCode = 0;
                 },
                 {"[BITSYNC_0] OutputCode=\x7f\x80: not an output code; read as NRZL"}},
        BadInput{"TruncatedLastValue",
                 "[BITSYNC_0]\r\nModel=KELTV2_10\r\nDo90DegClkOut=YE",
                 [](CardData& c) {
                   c.bitsync_setup.Model = 5;
                   c.bitsync_setup.Do90DegClkOut = 0;
                 },
                 {"[BITSYNC_0] Do90DegClkOut=YE: neither YES nor NO; read as NO"}},
        BadInput{"TruncatedLastKey", "[BITSYNC_0]\r\nModel=KELTV2_10\r\nDo90Deg",
                 [](CardData& c) { c.bitsync_setup.Model = 5; }},
        BadInput{"TruncatedSectionName", "[BITSYNC_0]\r\nModel=TAVIN\r\n[IRIG_",
                 [](CardData& c) { c.bitsync_setup.Model = 2; }}),
    [](const ::testing::TestParamInfo<BadInput>& info) { return info.param.name; });

TEST_F(SetupFileTest, WindowsStyleFileWrittenByHandIsReadAsWritten) {
  WriteText(Path("HAND.ZORV"),
            "; written in Notepad\r\n"
            "[bitsync_0]\r\n"
            "Model = KELTV2_20\r\n"
            "InputSource=\"SE_INPUT 7 ( J1-35)\"\r\n"
            "INPUTCODE=RNRZ15   \r\n"
            "OutputCode=INV_BIOL\r\n"
            "LoopBandwidth=0.05\r\n"
            "BitRate= 19200\r\n"
            "BitDecisionDetector=NO\r\n"
            "Pattern15Bit=YES\r\n"
            "QuickReactMode=YES\r\n"
            "\r\n"
            "[Irig_0]\r\n"
            "SourceFormat=IRIG G\r\n"
            "SourceExternal=YES\r\n"
            "FlywheelEnabled=NO\r\n"
            "GeneratorFormat=IRIG A\r\n");
  std::vector<CardData> cards(1);
  cards[0].bitsync_setup.Pattern15Bit = 0;
  std::string last_setup_file;

  ASSERT_TRUE(ReadSetupFile(Path("HAND.ZORV"), Configuration(), last_setup_file, cards));

  CardData expected;
  expected.bitsync_setup.Model = 4;
  expected.bitsync_setup.InputSource = 6;
  expected.bitsync_setup.InputCode = 15;
  expected.bitsync_setup.OutputCode = 11;
  expected.bitsync_setup.LoopBandwidth = 5;
  expected.bitsync_setup.BitRate = 19200;
  expected.bitsync_setup.BitDecisionDetector = 0;
  expected.quick_react_mode = 1;
  expected.irig_setup = {2, 1, 0, 1};
  EXPECT_EQ(Describe(cards[0]), Describe(expected));
}

TEST_F(SetupFileTest, RewriteStartsFromScratchAndKeepsTheOldFileAsBak) {
  const std::string old_text = "[Station]\r\nName=North\r\n";
  WriteText(Path("PASS.ZORV"), old_text);

  ASSERT_TRUE(WriteSetupFile(Path("PASS.ZORV"), Configuration(), "", TwoEditedCards()));

  EXPECT_EQ(ReadText(Path("PASS.ZORV.BAK")), old_text);
  EXPECT_THAT(ReadText(Path("PASS.ZORV")), ::testing::StartsWith("[BITSYNC_0]\r\n"));
  EXPECT_THAT(ReadText(Path("PASS.ZORV")), ::testing::Not(::testing::HasSubstr("Station")));
}

TEST_F(SetupFileTest, WriteProtectedFileIsLeftAsItWas) {
  const std::string old_text = "[BITSYNC_0]\r\nModel=TAVIN\r\n";
  WriteText(Path("RO.ZORV"), old_text);
  std::filesystem::permissions(Path("RO.ZORV"), std::filesystem::perms::owner_read |
                                                    std::filesystem::perms::group_read |
                                                    std::filesystem::perms::others_read);

  zorv_test::RunUnprivileged(Path(""), [&] {
    ASSERT_TRUE(platform::IsWriteDenied(Path("RO.ZORV")));
    EXPECT_FALSE(WriteSetupFile(Path("RO.ZORV"), Configuration(), "", TwoEditedCards()));
    EXPECT_EQ(ReadText(Path("RO.ZORV")), old_text);
  });
}

// A section's lines as the file holds them.
std::vector<std::string> SectionLines(const std::string& file, const std::string& section) {
  std::vector<std::string> lines;
  for (const platform::ProfileEntry& entry : platform::ReadProfileSection(file, section)) {
    lines.push_back(entry.key + "=" + entry.value);
  }
  return lines;
}

TEST_F(SetupFileTest, SectionsOfCardsNotHeldNowSurviveARewrite) {
  std::vector<CardData> four = TwoEditedCards();
  four.resize(4);
  four[3].bitsync_setup.BitRate = 777000;
  four[3].irig_setup.SourceFormat = 2;
  ASSERT_TRUE(WriteSetupFile(Configuration(), Configuration(), "", four));

  for (const size_t held : {size_t{1}, size_t{0}}) {
    SCOPED_TRACE(std::to_string(held) + " cards held");
    std::vector<CardData> fewer(four.begin(), four.begin() + static_cast<ptrdiff_t>(held));
    for (CardData& card : fewer) card.bitsync_setup.BitRate = 2000000;
    ASSERT_TRUE(WriteSetupFile(Configuration(), Configuration(), "", fewer));

    const std::string after = ReadText(Configuration());
    for (size_t n = held; n < four.size(); ++n) {
      for (const char* prefix : {"BITSYNC_", "IRIG_"}) {
        const std::string section = prefix + std::to_string(n);
        EXPECT_EQ(SectionLines(Configuration(), section),
                  SectionLines(Path("ZORVCFG.CFG.BAK"), section))
            << section;
        EXPECT_FALSE(SectionLines(Configuration(), section).empty()) << section;
      }
    }
    EXPECT_LT(after.find("[BITSYNC_3]"), after.find("[IRIG_0]"));
    std::vector<CardData> read(4);
    std::string last_setup_file;
    ASSERT_TRUE(ReadSetupFile(Configuration(), Configuration(), last_setup_file, read));
    EXPECT_EQ(Describe(read[3]), Describe(AsReadBack(four[3])));
    if (held == 1) {
      EXPECT_EQ(read[0].bitsync_setup.BitRate, 2000000u);
    }
  }
  EXPECT_THAT(ReadText(Configuration()), ::testing::HasSubstr("BitRate=777000\r\n"));
}

TEST_F(SetupFileTest, AFolderInPlaceOfTheFileIsLeftAlone) {
  for (const bool empty : {true, false}) {
    const std::string folder = Path(empty ? "EMPTY.ZORV" : "FULL.ZORV");
    std::filesystem::create_directory(folder);
    if (!empty) WriteText(folder + "/INSIDE.ZORV", "[BITSYNC_0]\r\n");

    EXPECT_FALSE(WriteSetupFile(folder, Configuration(), "", TwoEditedCards()));

    EXPECT_TRUE(std::filesystem::is_directory(folder)) << folder;
    EXPECT_FALSE(std::filesystem::exists(folder + ".BAK")) << folder;
    EXPECT_FALSE(IsSetupFilePlace(folder));
  }
  EXPECT_TRUE(IsSetupFilePlace(Path("NEW.ZORV")));
}

struct CheckedFile {
  const char* name;
  std::string content;
  std::vector<std::string> problems;
};

TEST_F(SetupFileTest, CheckNamesEveryValueItCannotTakeAndEveryUnfitFile) {
  const CheckedFile cases[] = {
      {"binary junk",
       "\x01\x02junk\x00\xff\r\n[BITSYNC_0]\r\n"s,
       {"holds control bytes: not a text file"}},
      {"empty", "", {"holds no BITSYNC_n or IRIG_n section"}},
      {"only other sections",
       "[Station]\r\nName=North\r\n",
       {"holds no BITSYNC_n or IRIG_n section"}},
      {"UTF-16", "\xFF\xFE[\0B\0]\0"s, {"is UTF-16 text; setup files are 8-bit text"}},
      {"CR line ends",
       "[BITSYNC_0]\rModel=KELT_20\rBitRate=5\r",
       {"has line ends of CR alone, which read as one line"}},
      {"values and keys",
       "[BITSYNC_0]\r\nModel=KELT_99\r\nInputCode=FOO\r\nBitRate=3e6\r\nPattern15Bit=maybe\r\n"
       "Modle=KELT_20\r\n[IRIG_1]\r\nSourceFormat=IRIG C\r\n",
       {"[BITSYNC_0] Model=KELT_99: not a model", "[BITSYNC_0] InputCode=FOO: not an input code",
        "[BITSYNC_0] BitRate=3e6: not a whole number of bits per second",
        "[BITSYNC_0] Pattern15Bit=maybe: neither YES nor NO",
        "[BITSYNC_0] Modle=KELT_20: no such key",
        "[IRIG_1] SourceFormat=IRIG C: not an IRIG code"}},
      {"bit rate beyond the model on a card not held",
       "[BITSYNC_2]\r\nModel=KELT_10\r\nBitRate=50000000\r\n",
       {"[BITSYNC_2] BitRate=50000000: outside 10 to 10000000 bit/s for KELT_10 with NRZL"}},
      {"loop bandwidth of another model",
       "[BITSYNC_0]\r\nModel=TAVIN\r\nLoopBandwidth=0.01\r\n",
       {"[BITSYNC_0] LoopBandwidth=0.01: not a loop bandwidth of TAVIN"}},
  };
  const std::vector<CardData> cards(1);
  for (const CheckedFile& c : cases) {
    SCOPED_TRACE(c.name);
    WriteText(Path("CHECK.ZORV"), c.content);
    EXPECT_EQ(CheckSetupFile(Path("CHECK.ZORV"), cards), c.problems);
  }

  std::filesystem::create_directory(Path("FOLDER.ZORV"));
  EXPECT_EQ(CheckSetupFile(Path("FOLDER.ZORV"), cards),
            std::vector<std::string>{"is a folder, not a setup file"});
  WriteText(Path("HUGE.ZORV"), "[BITSYNC_0]\r\n");
  std::filesystem::resize_file(Path("HUGE.ZORV"), (64u << 20) + 1);
  EXPECT_EQ(CheckSetupFile(Path("HUGE.ZORV"), cards),
            std::vector<std::string>{"is larger than 64 MiB: not a setup file"});
}

TEST_F(SetupFileTest, CheckPassesEverythingTheProgramWritesOnAnyNumberOfCards) {
  std::vector<CardData> written = TwoEditedCards();
  written.resize(4);
  written[2].bitsync_setup.LoopBandwidth = 8;
  written[3].bitsync_setup.Model = 1;
  written[3].bitsync_setup.LoopBandwidth = -1;
  written[3].bitsync_setup.BerTestingEnabled = 1;
  ASSERT_TRUE(WriteSetupFile(Path("FOUR.ZORV"), Configuration(), "", written));
  ASSERT_TRUE(WriteSetupFile(Path("ONE.ZORV"), Configuration(), "",
                             std::span<const CardData>(written).first(1)));
  ASSERT_TRUE(WriteSetupFile(Configuration(), Configuration(), Path("ONE.ZORV"), written));

  for (const std::string& file : {Path("FOUR.ZORV"), Path("ONE.ZORV"), Configuration()}) {
    for (const size_t held : {size_t{1}, size_t{4}}) {
      SCOPED_TRACE(file + " on " + std::to_string(held) + " cards");
      EXPECT_THAT(CheckSetupFile(file, std::span<const CardData>(written).first(held)),
                  ::testing::IsEmpty());
    }
  }
}

TEST_F(SetupFileTest, CheckedNamesAreTakenInAnyCaseAndInThePlainForm) {
  WriteText(Path("PLAIN.ZORV"),
            "\xEF\xBB\xBF[bitsync_0]\nmodel=keltv2_20\nInputSource=se_input 7\nInputCode=Biol\n"
            "LoopBandwidth=0.05\n[irig_0]\nSourceFormat=irig g\n");
  std::vector<CardData> cards(1);

  EXPECT_THAT(CheckSetupFile(Path("PLAIN.ZORV"), cards), ::testing::IsEmpty());
  std::string last_setup_file;
  ASSERT_TRUE(ReadCheckedSetupFile(Path("PLAIN.ZORV"), Configuration(), last_setup_file, cards));

  EXPECT_EQ(cards[0].bitsync_setup.Model, 4);
  EXPECT_EQ(cards[0].bitsync_setup.InputSource, 6);
  EXPECT_EQ(cards[0].bitsync_setup.InputCode, 3);
  EXPECT_EQ(cards[0].bitsync_setup.LoopBandwidth, 5);
  EXPECT_EQ(cards[0].irig_setup.SourceFormat, 2);
  EXPECT_THAT(LogMessages(1), ::testing::IsEmpty());
}

TEST(SetupFilePath, KeepsItsCaseWhereFileNamesDo) {
  const std::string chosen = "C:\\Setups\\Pass1.zorv";
  EXPECT_EQ(SetupFilePathAsKept(chosen),
            platform::FileNamesAreCaseSensitive() ? chosen : "C:\\SETUPS\\PASS1.ZORV");
}

}  // namespace
