// zorvctl's commands run inside the test against the fake library, on virtual time.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <thread>

#include "tests/common/ScopedEnvironmentVariable.h"
#include "tests/tools/JsonReader.h"
#include "tests/tools/ZorvctlTestFixture.h"

namespace {

using ::testing::HasSubstr;
using ::testing::Not;

class SessionTest : public ZorvctlTest {
 protected:
  void SetUp() override {
    ZorvctlTest::SetUp();
    fake_ = &InstallFake();
  }

  std::vector<JsonValue> JsonLines() const {
    auto lines = ReadJsonLines(out_);
    EXPECT_TRUE(lines) << out_;
    return lines.value_or(std::vector<JsonValue>{});
  }

  FakeZorvDllState* fake_ = nullptr;
};

TEST_F(SessionTest, RefusesWhileTheOperatorProgramsNameIsTaken) {
  {
    const platform::InstanceGuard zorv_app(kSingleInstanceName);
    EXPECT_EQ(Run({"list"}), 1);
    EXPECT_EQ(err_,
              "zorvctl: ZorvApp or another zorvctl is running; zorvctl does not drive the cards "
              "beside it\n");
    EXPECT_EQ(out_, "");
    EXPECT_EQ(fake_->open_calls, 0);
    EXPECT_FALSE(std::filesystem::exists(Path("zorvctl.Log")));
  }
  EXPECT_EQ(Run({"list"}), 0) << err_;
  EXPECT_EQ(fake_->open_calls, 1);
  EXPECT_THAT(ReadText(Path("zorvctl.Log")), HasSubstr("  zorvctl list\r\n"));
}

TEST_F(SessionTest, StatusWatchReadsAtEachPeriodUntilCtrlCAndHoldsTheNameMeanwhile) {
  clock_.InterruptAfterMilliseconds(5000);

  EXPECT_EQ(Run({"status", "--card", "2", "--watch", "2", "--json"}), 0) << err_;

  const std::vector<JsonValue> readings = JsonLines();
  ASSERT_EQ(readings.size(), 3u) << out_;
  for (size_t i = 0; i < readings.size(); ++i) {
    const JsonValue& reading = readings[i];
    EXPECT_EQ(reading["card"].number, 2);
    EXPECT_EQ(reading["reading"].number, static_cast<double>(i + 1));
    EXPECT_EQ(reading["lock"].text, "LOCK");
    EXPECT_EQ(reading["irig_time"].number, 86400.5);
    EXPECT_EQ(reading["irig_status_text"].text, "INTERNAL RTC");
    EXPECT_TRUE(reading["polled"].boolean);
    EXPECT_TRUE(reading["complete"].boolean);
    EXPECT_EQ(reading["es_no_db"].number, 12.3);
    EXPECT_EQ(reading["built_in_test"].items.size(), 5u);
    // No bit error test runs: no error count and no rate to show.
    EXPECT_TRUE(reading["error_count"].IsNull());
    EXPECT_TRUE(reading["ber"].IsNull());
  }
  EXPECT_EQ(fake_->last_card, 1);
  EXPECT_TRUE(clock_.NameTakenWhileSleeping());
  EXPECT_EQ(err_, "");
}

// Real time: the program's watcher thread waits on its own while the card's call does not
// return; the bounds are a few seconds.
TEST_F(SessionTest, ACardThatKeepsZorvctlWaitingIsNamedAtCtrlCAndASecondCtrlCEndsAtOnce) {
  fake_->stalled_card = 1;
  std::thread operator_thread([&] {
    EXPECT_TRUE(Eventually([&] { return fake_->stalled_calls > 0; }));
    platform::RequestInterrupt();
    EXPECT_TRUE(Eventually([&] { return ErrorsSoFar().find("card 2") != std::string::npos; }));
    platform::RequestInterrupt();
    EXPECT_TRUE(Eventually([&] { return end_process_calls > 0; }));
    // What ending the process does to the call, here where it cannot end.
    fake_->stalled_card = -1;
  });

  EXPECT_EQ(Run({"status"}), 1);

  operator_thread.join();
  EXPECT_THAT(err_, ::testing::StartsWith(
                        "zorvctl: waiting for card 2, which does not answer; the library gives up "
                        "on it within 138 s. Ctrl+C again ends zorvctl now\n"
                        "zorvctl: ended at the second Ctrl+C\n"));
  EXPECT_EQ(end_process_calls, 1);
  EXPECT_THAT(ReadText(Path("zorvctl.Log")), HasSubstr("PROGRAM END"));
  end_process_calls = 0;
}

TEST_F(SessionTest, StatusOfACardThatIsNotPolledReadsNoSlowValues) {
  fake_->max_input_source = 3;

  EXPECT_EQ(Run({"status", "--json"}), 0) << err_;

  const std::vector<JsonValue> readings = JsonLines();
  ASSERT_EQ(readings.size(), 2u);
  EXPECT_FALSE(readings[1]["polled"].boolean);
  EXPECT_TRUE(readings[1]["es_no_db"].IsNull());
  EXPECT_TRUE(readings[1]["built_in_test"].IsNull());
}

TEST_F(SessionTest, StatusWhoseReadsFailShowsWhatItHasAndFails) {
  fake_->result = kZorvApiBitsyncStatusFailed;

  EXPECT_EQ(Run({"status"}), 1);

  EXPECT_EQ(err_, "zorvctl: status: cards 1, 2 did not answer every read\n");
  EXPECT_THAT(out_, HasSubstr("card 2  NOCLK_NOSIG"));
  EXPECT_THAT(out_, HasSubstr("(some reads failed: their values are the previous ones)"));
}

TEST_F(SessionTest, ACardOutsideThoseInUseIsAFailedOperation) {
  EXPECT_EQ(Run({"ber", "--card", "3", "--seconds", "1"}), 1);
  EXPECT_EQ(err_, "zorvctl: ber: there is no card 3; 2 cards are in use\n");
  EXPECT_EQ(fake_->bitsync_setup_loads, 0);
}

TEST_F(SessionTest, BerRunsOneReadingASecondThenTurnsTheTestOff) {
  fake_->bit_count = 7000;

  EXPECT_EQ(
      Run({"ber", "--card", "2", "--seconds", "3", "--pattern", "11", "--forced-errors", "--json"}),
      0)
      << err_;

  const std::vector<JsonValue> readings = JsonLines();
  ASSERT_EQ(readings.size(), 4u) << out_;
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(readings[i]["reading"].text, "progress");
    EXPECT_EQ(readings[i]["elapsed_s"].number, static_cast<double>(i + 1));
    EXPECT_EQ(readings[i]["bit_count"].number, 7000);
    EXPECT_EQ(readings[i]["error_count"].number, 7);
    EXPECT_DOUBLE_EQ(readings[i]["ber"].number, 0.001);
  }
  const JsonValue& summary = readings[3];
  EXPECT_EQ(summary["reading"].text, "summary");
  EXPECT_EQ(summary["elapsed_s"].number, 3);
  EXPECT_EQ(summary["pattern"].number, 11);
  EXPECT_TRUE(summary["forced_errors"].boolean);
  EXPECT_FALSE(summary["external"].boolean);
  EXPECT_FALSE(summary["interrupted"].boolean);

  ASSERT_EQ(fake_->bitsync_setup_loads, 2);
  const BitsyncSetup& during = fake_->bitsync_setups[0];
  EXPECT_EQ(during.BerTestingEnabled, 1);
  EXPECT_EQ(during.KnownErrorMode, 1);
  EXPECT_EQ(during.Pattern15Bit, 0);
  EXPECT_EQ(during.ExtBerMode, 0);
  const BitsyncSetup& after = fake_->bitsync_setups[1];
  EXPECT_EQ(after.BerTestingEnabled, 0);
  EXPECT_EQ(after.KnownErrorMode, 0);
  EXPECT_EQ(after.Pattern15Bit, 1) << "the pattern was for this test only";
  EXPECT_EQ(fake_->last_card, 1);
}

TEST_F(SessionTest, BerPutsTheKeptSetupBackWithForcedErrorsOff) {
  WriteText(Path("ZORVCFG.CFG"),
            "[BITSYNC_0]\r\nModel=KELT_20\r\nBitRate=2000000\r\nKnownErrorMode=YES\r\n");

  fake_->bit_count = 7000;

  EXPECT_EQ(Run({"ber", "--card", "1", "--seconds", "1"}), 0) << err_;

  // The kept setup as the run starts, then with the test on, then off again.
  ASSERT_EQ(fake_->bitsync_setup_loads, 3);
  EXPECT_EQ(fake_->bitsync_setups[0].KnownErrorMode, 1);
  EXPECT_EQ(fake_->bitsync_setups[1].KnownErrorMode, 0) << "no --forced-errors";
  const BitsyncSetup& after = fake_->bitsync_setups[2];
  EXPECT_EQ(after.BitRate, 2000000u);
  EXPECT_EQ(after.BerTestingEnabled, 0);
  EXPECT_EQ(after.KnownErrorMode, 0) << "as the card window leaves a test";
}

TEST_F(SessionTest, BerCutShortByCtrlCStillTurnsTheTestOff) {
  clock_.InterruptAfterMilliseconds(1500);

  EXPECT_EQ(Run({"ber", "--card", "1", "--seconds", "60", "--external"}), 1);

  EXPECT_EQ(err_, "zorvctl: ber: interrupted; the test is off again\n");
  EXPECT_THAT(out_, HasSubstr("card 1  elapsed 1.0 s"));
  EXPECT_THAT(out_, HasSubstr("summary: 15-bit external pattern, forced errors off"));
  EXPECT_THAT(out_, HasSubstr("(interrupted)"));
  EXPECT_THAT(out_, ::testing::Not(HasSubstr("elapsed 2.0 s")));
  ASSERT_EQ(fake_->bitsync_setup_loads, 2);
  EXPECT_EQ(fake_->bitsync_setups[0].ExtBerMode, 1);
  EXPECT_EQ(fake_->bitsync_setups[1].BerTestingEnabled, 0);
}

TEST_F(SessionTest, BerWithoutBitsMeasuresNoRateAndFails) {
  fake_->bit_count = 0;

  EXPECT_EQ(Run({"ber", "--card", "1", "--seconds", "2", "--json"}), 1);

  EXPECT_EQ(err_, "zorvctl: ber: card 1 counted no bit; no bit error rate\n");
  const std::vector<JsonValue> readings = JsonLines();
  ASSERT_EQ(readings.size(), 3u) << out_;
  for (const JsonValue& reading : readings) EXPECT_TRUE(reading["ber"].IsNull());
  EXPECT_EQ(fake_->bitsync_setups[1].BerTestingEnabled, 0) << "the test is off again";
}

TEST_F(SessionTest, BerWithoutLockMeasuresNoRateAndFails) {
  fake_->bit_count = 7000;
  fake_->bitsync_status = 1;

  EXPECT_EQ(Run({"ber", "--card", "2", "--seconds", "1"}), 1);

  EXPECT_EQ(err_, "zorvctl: ber: card 2 lost its lock during the test; no bit error rate\n");
  EXPECT_THAT(out_, HasSubstr("bits 7000  errors 7  BER n/a  SEARCH  PRN correlator"));
  EXPECT_THAT(out_, HasSubstr("(lock lost during the test)"));
}

TEST_F(SessionTest, MaxBerMakesTheTestAPassOrFail) {
  fake_->bit_count = 7000;  // and 7 errors: 1.0E-3
  struct Case {
    const char* max_ber;
    int exit_code;
    std::string error;
  };
  const Case cases[] = {
      {"1e-2", 0, ""},
      {"0.001", 0, ""},
      {"1e-4", 1,
       "zorvctl: ber: card 1 bit error rate 1.0000E-0003 is above --max-ber 1.0000E-0004\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.max_ber);
    EXPECT_EQ(Run({"ber", "--card", "1", "--seconds", "1", "--max-ber", c.max_ber}), c.exit_code);
    EXPECT_EQ(err_, c.error);
  }
}

TEST_F(SessionTest, BerIsRefusedOnACardTheCardWindowWouldNotPoll) {
  fake_->max_input_source = 3;

  EXPECT_EQ(Run({"ber", "--card", "1", "--seconds", "5"}), 1);

  EXPECT_EQ(err_,
            "zorvctl: ber: card 1 cannot run a bit error test: its bit synchronizer does not "
            "read commands back\n");
  EXPECT_EQ(fake_->bitsync_setup_loads, 0);
}

TEST_F(SessionTest, IrigProgramsTheReaderAndKeepsTheSetup) {
  EXPECT_EQ(Run({"irig", "--card", "1", "--code", "G", "--external", "--flywheel", "off"}), 0)
      << err_;

  ASSERT_EQ(fake_->irig_setup_loads, 1);
  EXPECT_EQ(fake_->irig_setups[0].SourceFormat, 2);
  EXPECT_EQ(fake_->irig_setups[0].SourceExternal, 1);
  EXPECT_EQ(fake_->irig_setups[0].FlywheelEnabled, 0);
  EXPECT_EQ(out_,
            "card 1 IRIG: IRIG G, External, flywheel Off, time 001:00:00:00.500, status RTC\n");
  const std::string configuration = ReadText(Path("ZORVCFG.CFG"));
  EXPECT_THAT(configuration, HasSubstr("[IRIG_0]\r\nSourceFormat=IRIG G\r\nSourceExternal=YES\r\n"
                                       "FlywheelEnabled=NO\r\n"));

  // The next run starts from the kept setup.
  EXPECT_EQ(Run({"irig", "--card", "1", "--internal"}), 0) << err_;
  ASSERT_EQ(fake_->irig_setup_loads, 2);
  EXPECT_EQ(fake_->irig_setups[1].SourceFormat, 2);
  EXPECT_EQ(fake_->irig_setups[1].SourceExternal, 0);
}

TEST_F(SessionTest, LoadProgramsEveryCardAndSaveWritesTheSetupsBack) {
  WriteText(Path("pass.zorv"),
            "[BITSYNC_0]\r\nModel=KELT_10\r\nBitRate=2000000\r\nQuickReactMode=YES\r\n"
            "BerTestingEnabled=YES\r\n[IRIG_1]\r\nSourceFormat=IRIG A\r\n");

  EXPECT_EQ(Run({"load", "pass.zorv"}), 0) << err_;

  ASSERT_EQ(fake_->bitsync_setup_loads, 2);
  EXPECT_EQ(fake_->bitsync_setups[0].Model, 1);
  EXPECT_EQ(fake_->bitsync_setups[0].BitRate, 2000000u);
  EXPECT_EQ(fake_->bitsync_setups[0].BerTestingEnabled, 0);
  EXPECT_EQ(fake_->bitsync_setups[1].BitRate, 1024000u);
  EXPECT_EQ(fake_->quick_react_mode, 0) << "card 2 keeps its own quick react byte";
  ASSERT_EQ(fake_->irig_setup_loads, 2);
  EXPECT_EQ(fake_->irig_setups[1].SourceFormat, 1);
  EXPECT_THAT(out_, HasSubstr("card 1: KELT_10, SE_INPUT 2, NRZL to NRZL, 2000000 bit/s, quick "
                              "react on; IRIG B, Internal RTC, flywheel Enabled\n"));
  const std::string kept = SetupFilePathAsKept(Path("pass.zorv"));
  EXPECT_THAT(ReadText(Path("ZORVCFG.CFG")), HasSubstr("LastSetupFile=" + kept + "\r\n"));

  EXPECT_EQ(Run({"save", Path("copy.zorv")}), 0) << err_;
  EXPECT_EQ(out_,
            "saved the setups of 2 cards to " + SetupFilePathAsKept(Path("copy.zorv")) + "\n");

  const std::string copy = ReadText(SetupFilePathAsKept(Path("copy.zorv")));
  EXPECT_THAT(copy, HasSubstr("[BITSYNC_0]\r\nModel=KELT_10\r\n"));
  EXPECT_THAT(copy, HasSubstr("BitRate=2000000\r\n"));
  EXPECT_THAT(copy, HasSubstr("[IRIG_1]\r\nSourceFormat=IRIG A\r\n"));
  EXPECT_THAT(copy, ::testing::Not(HasSubstr("CommonArea")));
  EXPECT_THAT(ReadText(Path("ZORVCFG.CFG")),
              HasSubstr("LastSetupFile=" + SetupFilePathAsKept(Path("copy.zorv")) + "\r\n"));
}

TEST_F(SessionTest, LoadChecksTheWholeFileFirstAndProgramsNothingOnAnyBadValue) {
  WriteText(Path("ZORVCFG.CFG"), "[CommonArea]\r\nLastSetupFile=\r\n");
  const std::string configuration = ReadText(Path("ZORVCFG.CFG"));
  const std::string path = SetupFilePathAsKept(Path("bad.zorv"));
  struct Case {
    const char* name;
    std::string content;
    std::vector<std::string> problems;
  };
  const Case cases[] = {
      {"junk",
       std::string("\x7f"
                   "ELF\x02\x01\x00junk",
                   10),
       {"holds control bytes: not a text file"}},
      {"empty", "", {"holds no BITSYNC_n or IRIG_n section"}},
      {"values",
       "[BITSYNC_0]\r\nInputCode=FOO\r\nBitRate=50000000\r\n[BITSYNC_1]\r\nModel=KELT_99\r\n"
       "Pattern15Bit=yes\r\n",
       {"[BITSYNC_0] InputCode=FOO: not an input code",
        "[BITSYNC_0] BitRate=50000000: outside 10 to 25000000 bit/s for KELT_20 with NRZL",
        "[BITSYNC_1] Model=KELT_99: not a model",
        "[BITSYNC_1] Pattern15Bit=yes: neither YES nor NO"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteText(Path("bad.zorv"), c.content);

    EXPECT_EQ(Run({"load", "bad.zorv"}), 1);

    std::string expected;
    for (const std::string& problem : c.problems) {
      expected += "zorvctl: load: " + path + ": " + problem + "\n";
    }
    expected += "zorvctl: load: " + path + " was not loaded; no card was programmed\n";
    EXPECT_EQ(err_, expected);
    EXPECT_EQ(out_, "");
    EXPECT_EQ(fake_->bitsync_setup_loads, 0);
    EXPECT_EQ(fake_->irig_setup_loads, 0);
    EXPECT_EQ(ReadText(Path("ZORVCFG.CFG")), configuration) << "not the last setup file";
  }
}

TEST_F(SessionTest, LoadTakesNamesInTheFormZorvctlShowsThemAndInAnyCase) {
  WriteText(Path("plain.zorv"),
            "[BITSYNC_0]\r\nModel=keltv2_20\r\nInputSource=SE_INPUT 7\r\nInputCode=biol\r\n"
            "[IRIG_0]\r\nSourceFormat=irig g\r\n");

  EXPECT_EQ(Run({"load", "plain.zorv"}), 0) << err_;

  EXPECT_EQ(fake_->bitsync_setups[0].Model, 4);
  EXPECT_EQ(fake_->bitsync_setups[0].InputSource, 6);
  EXPECT_EQ(fake_->bitsync_setups[0].InputCode, 3);
  EXPECT_EQ(fake_->irig_setups[0].SourceFormat, 2);
  // Kept in the file's own form.
  EXPECT_THAT(ReadText(Path("ZORVCFG.CFG")), HasSubstr("InputSource=SE_INPUT 7 ( J1-35)\r\n"));
}

TEST_F(SessionTest, CheckTouchesNoCardAndFailsOnEveryBadValue) {
  WriteText(Path("good.zorv"), "[BITSYNC_2]\r\nModel=TAVIN\r\nLoopBandwidth=3.0\r\n");
  WriteText(Path("bad.zorv"), "[IRIG_0]\r\nFlywheel=YES\r\n");

  EXPECT_EQ(Run({"check", "good.zorv"}), 0) << err_;
  EXPECT_EQ(out_,
            SetupFilePathAsKept(Path("good.zorv")) + ": every value can be taken as written\n");

  EXPECT_EQ(Run({"check", "bad.zorv"}), 1);
  EXPECT_EQ(err_, "zorvctl: check: " + SetupFilePathAsKept(Path("bad.zorv")) +
                      ": [IRIG_0] Flywheel=YES: no such key\n");
  EXPECT_EQ(fake_->open_calls, 0);
  EXPECT_FALSE(std::filesystem::exists(Path("zorvctl.Log")));
}

TEST_F(SessionTest, SaveOntoAFolderWritesNothing) {
  std::filesystem::create_directory(Path("folder.zorv"));
  const std::string path = SetupFilePathAsKept(Path("folder.zorv"));

  EXPECT_EQ(Run({"save", "folder.zorv"}), 1);

  EXPECT_EQ(err_, "zorvctl: save: " + path + " is not a file; nothing was written\n");
  EXPECT_TRUE(std::filesystem::is_directory(path));
  EXPECT_FALSE(std::filesystem::exists(path + ".BAK"));
  EXPECT_FALSE(std::filesystem::exists(Path("ZORVCFG.CFG")));
}

TEST_F(SessionTest, ARunOnFewerCardsKeepsTheSetupsOfTheOthers) {
  WriteText(Path("ZORVCFG.CFG"),
            "[BITSYNC_0]\r\nBitRate=2000000\r\n[BITSYNC_3]\r\nModel=TAVIN\r\nBitRate=3000000\r\n"
            "[IRIG_3]\r\nSourceFormat=IRIG G\r\n");

  EXPECT_EQ(Run({"irig", "--card", "1", "--code", "A"}), 0) << err_;

  const std::string configuration = ReadText(Path("ZORVCFG.CFG"));
  EXPECT_THAT(configuration, HasSubstr("[BITSYNC_3]\r\nModel=TAVIN\r\nBitRate=3000000\r\n"));
  EXPECT_THAT(configuration, HasSubstr("[IRIG_3]\r\nSourceFormat=IRIG G\r\n"));
  EXPECT_THAT(configuration, HasSubstr("[IRIG_0]\r\nSourceFormat=IRIG A\r\n"));
}

// A configuration file that cannot be written, as a folder even for a user who may write
// read-only files: the cards are programmed all the same, and zorvctl says both.
TEST_F(SessionTest, AConfigurationThatCannotBeKeptIsReportedAfterWhatWasDone) {
  std::filesystem::create_directory(Path("ZORVCFG.CFG"));
  WriteText(Path("pass.zorv"), "[BITSYNC_0]\r\nBitRate=2000000\r\n");
  const std::string configuration = Path("ZORVCFG.CFG");

  EXPECT_EQ(Run({"load", "pass.zorv"}), 1);
  EXPECT_EQ(fake_->bitsync_setup_loads, 2);
  EXPECT_EQ(err_, "zorvctl: load: cards 1, 2 took the setups of " +
                      SetupFilePathAsKept(Path("pass.zorv")) +
                      ", but they could not be kept: " + configuration + " could not be written\n");

  EXPECT_EQ(Run({"irig", "--card", "2", "--code", "G"}), 1);
  EXPECT_EQ(fake_->irig_setup_loads, 3);
  EXPECT_EQ(err_, "zorvctl: irig: card 2 took the IRIG setup, but it could not be kept: " +
                      configuration + " could not be written\n");
}

TEST_F(SessionTest, AWatchPeriodShorterThanAReadingIsSaidOnce) {
  // Each reading of the clock costs 1.5 s, so a reading of both cards takes 1.5 s at least.
  clock_.ChargeEveryReading(1500);
  clock_.InterruptAfterMilliseconds(20000);

  EXPECT_EQ(Run({"status", "--watch", "1", "--json"}), 0) << err_;

  // Said once, with the time the reading took.
  EXPECT_THAT(err_, ::testing::StartsWith("zorvctl: status: a reading of 2 cards takes "));
  EXPECT_THAT(err_, ::testing::EndsWith(" s, longer than --watch 1; the readings follow each "
                                        "other without a pause\n"));
  EXPECT_EQ(std::count(err_.begin(), err_.end(), '\n'), 1) << err_;
  EXPECT_GT(JsonLines().size(), 2u);
}

TEST_F(SessionTest, LoadOfAMissingFileChangesNothing) {
  EXPECT_EQ(Run({"load", "missing.zorv"}), 1);

  EXPECT_EQ(err_, "zorvctl: load: there is no setup file " +
                      SetupFilePathAsKept(Path("missing.zorv")) + "\n");
  EXPECT_EQ(fake_->bitsync_setup_loads, 0);
  EXPECT_FALSE(std::filesystem::exists(Path("ZORVCFG.CFG")));
}

TEST_F(SessionTest, ACardRefusingItsSetupFailsTheLoad) {
  WriteText(Path("pass.zorv"), "[BITSYNC_0]\r\nBitRate=2000000\r\n");
  fake_->result = kZorvApiBitsyncSetupFailed;

  EXPECT_EQ(Run({"load", "pass.zorv"}), 1);

  EXPECT_EQ(err_, "zorvctl: load: cards 1, 2 did not take the setups\n");
}

TEST_F(SessionTest, WithoutCardsZorvctlFailsUnlessAskedToSimulate) {
  fake_->card_count = 0;
  for (const char* command : {"list", "status"}) {
    SCOPED_TRACE(command);
    EXPECT_EQ(Run({command, "--json"}), 1);
    EXPECT_EQ(out_, "");
    EXPECT_EQ(err_,
              "zorvctl: the library found no card (its log ZORVDLL.Log says why); --simulate "
              "works on the operator program's simulated cards\n");
  }

  EXPECT_EQ(Run({"--simulate", "list", "--json"}), 0) << err_;

  const std::vector<JsonValue> cards = JsonLines();
  ASSERT_EQ(cards.size(), 3u);
  EXPECT_EQ(cards[2]["card"].number, 3);
  EXPECT_TRUE(cards[2]["simulated"].boolean);
  EXPECT_TRUE(cards[2]["firmware"].IsNull());

  EXPECT_EQ(Run({"list", "--simulate"}), 0);
  EXPECT_THAT(out_, HasSubstr("simulate mode: the library found no card; 3 cards with simulated "
                              "data\ncard 1: simulated\n"));
}

TEST_F(SessionTest, EmulatedCardsAreSaidToBeSoBeforeTheCards) {
  const zorv_test::ScopedEnvironmentVariable emulate("ZORV_EMULATE", "2");
  for (const char* command : {"list", "status"}) {
    SCOPED_TRACE(command);
    EXPECT_EQ(Run({command}), 0) << err_;
    EXPECT_TRUE(out_.starts_with(
        "EMULATED: these cards are the emulator's (ZORV_EMULATE=2), not real cards\n"))
        << out_;
    EXPECT_EQ(Run({command, "--json"}), 0) << err_;
    ASSERT_FALSE(JsonLines().empty()) << "nothing but the cards' objects: " << out_;
    for (const JsonValue& card : JsonLines()) EXPECT_TRUE(card["emulated"].boolean);
  }
  // Simulated data come from no card, emulated or not.
  EXPECT_EQ(Run({"--simulate", "list", "--json"}), 0) << err_;
  EXPECT_FALSE(JsonLines()[0]["emulated"].boolean);
}

TEST_F(SessionTest, RealCardsAreNotSaidToBeEmulated) {
  const zorv_test::ScopedEnvironmentVariable emulate("ZORV_EMULATE", "");
  EXPECT_EQ(Run({"list"}), 0) << err_;
  EXPECT_THAT(out_, Not(HasSubstr("EMULATED")));
  EXPECT_EQ(Run({"status", "--json"}), 0) << err_;
  EXPECT_FALSE(JsonLines()[0]["emulated"].boolean);
}

TEST_F(SessionTest, SimulateAlsoReplacesCardsThatArePresent) {
  EXPECT_EQ(Run({"--simulate", "status", "--card", "1", "--json"}), 0) << err_;

  ASSERT_EQ(JsonLines().size(), 1u);
  EXPECT_TRUE(JsonLines()[0]["simulated"].boolean);
  EXPECT_EQ(fake_->per_card_calls, 0) << "simulated data come from no card";
}

TEST_F(SessionTest, ListSaysHowManyCardsTheLibraryFoundBeyondThoseInUse) {
  fake_->card_count = 6;

  EXPECT_EQ(Run({"list"}), 0) << err_;

  EXPECT_THAT(out_, ::testing::StartsWith("4 cards (the library found 6; zorvctl uses the first "
                                          "4)\ncard 1: "));
}

TEST_F(SessionTest, ListShowsWhatTheLibraryReportsPerCard) {
  EXPECT_EQ(Run({"list"}), 0) << err_;

  EXPECT_EQ(out_,
            "2 cards\n"
            "card 1: 1 bitsync, 20 Mbit option YES, BER test option YES, firmware 0092 : 146, "
            "highest input source 11 (DIFF_INPUT 4)\n"
            "card 2: 1 bitsync, 20 Mbit option YES, BER test option YES, firmware 0092 : 146, "
            "highest input source 11 (DIFF_INPUT 4)\n");
}

}  // namespace
