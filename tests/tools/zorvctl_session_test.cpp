// zorvctl's commands run inside the test against the fake library, on virtual time.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/tools/JsonReader.h"
#include "tests/tools/ZorvctlTestFixture.h"

namespace {

using ::testing::HasSubstr;

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
    EXPECT_EQ(err_, "zorvctl: ZorvApp is running; zorvctl does not drive the cards beside it\n");
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

  const std::string copy = ReadText(SetupFilePathAsKept(Path("copy.zorv")));
  EXPECT_THAT(copy, HasSubstr("[BITSYNC_0]\r\nModel=KELT_10\r\n"));
  EXPECT_THAT(copy, HasSubstr("BitRate=2000000\r\n"));
  EXPECT_THAT(copy, HasSubstr("[IRIG_1]\r\nSourceFormat=IRIG A\r\n"));
  EXPECT_THAT(copy, ::testing::Not(HasSubstr("CommonArea")));
  EXPECT_THAT(ReadText(Path("ZORVCFG.CFG")),
              HasSubstr("LastSetupFile=" + SetupFilePathAsKept(Path("copy.zorv")) + "\r\n"));
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

TEST_F(SessionTest, WithoutCardsTheListShowsSimulatedCards) {
  fake_->card_count = 0;

  EXPECT_EQ(Run({"list", "--json"}), 0) << err_;

  const std::vector<JsonValue> cards = JsonLines();
  ASSERT_EQ(cards.size(), 3u);
  EXPECT_EQ(cards[2]["card"].number, 3);
  EXPECT_TRUE(cards[2]["simulated"].boolean);
  EXPECT_TRUE(cards[2]["firmware"].IsNull());

  EXPECT_EQ(Run({"list"}), 0);
  EXPECT_THAT(out_, HasSubstr("simulate mode: the library found no card; 3 simulated cards\n"
                              "card 1: simulated\n"));
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
