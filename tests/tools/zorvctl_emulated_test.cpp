// The built zorvctl run as a station script runs it, against the built library on emulated
// cards. Real time: the emulated cards live inside the library, which runs on the real clock,
// so each run is kept to a few seconds at most.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <optional>
#include <regex>
#include <thread>

#if ZORVCTL_SERVES_METRICS
#include <httplib.h>
#endif

#include "emulator/CardStateFile.h"
#include "platform/child_process.h"
#include "platform/process.h"
#include "tests/common/ScopedEnvironmentVariable.h"
#include "tests/tools/JsonReader.h"
#include "tests/tools/ZorvctlTestFixture.h"

namespace {

using zorv_test::ScopedEnvironmentVariable;

using ::testing::HasSubstr;

// The standard library's regular expressions: GoogleTest's own are only the simple ones on
// Windows.
MATCHER_P(MatchesWhole, pattern, "matches " + std::string(pattern)) {
  return std::regex_match(arg, std::regex(pattern));
}
MATCHER_P(HasMatch, pattern, "has a match of " + std::string(pattern)) {
  return std::regex_search(arg, std::regex(pattern));
}

// The tool's lines without the CR that Windows writes before each text-mode line end.
std::string Lines(std::string text) {
  text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
  return text;
}

class EmulatedZorvctlTest : public ZorvctlTest {
 protected:
  platform::ProgramRun RunBuilt(const std::vector<std::string>& words) {
    platform::ProgramRun run = platform::RunProgram(ZORVCTL, words);
    EXPECT_TRUE(run.started);
    run.output = Lines(run.output);
    run.errors = Lines(run.errors);
    return run;
  }

  std::vector<JsonValue> JsonLines(const platform::ProgramRun& run) {
    auto lines = ReadJsonLines(run.output);
    EXPECT_TRUE(lines) << run.output;
    return lines.value_or(std::vector<JsonValue>{});
  }

  // A scenario file in the test's directory; its path for --emulate.
  std::string Scenario(const std::string& text) {
    WriteText(Path("scenario.ini"), text);
    return Path("scenario.ini");
  }
};

TEST_F(EmulatedZorvctlTest, ListAndStatusOfTwoCardsReadBackAsJson) {
  const platform::ProgramRun list = RunBuilt({"--emulate", "2", "list", "--json"});

  EXPECT_EQ(list.exit_code, 0) << list.errors;
  const std::vector<JsonValue> cards = JsonLines(list);
  ASSERT_EQ(cards.size(), 2u) << list.output;
  for (size_t i = 0; i < cards.size(); ++i) {
    EXPECT_EQ(cards[i]["card"].number, static_cast<double>(i + 1));
    EXPECT_FALSE(cards[i]["simulated"].boolean);
    EXPECT_EQ(cards[i]["bitsync_count"].number, 1);
    EXPECT_TRUE(cards[i]["option_ber_test"].boolean);
    EXPECT_EQ(cards[i]["max_input_source"].number, 11);
    EXPECT_THAT(cards[i]["firmware"].text, MatchesWhole("[0-9A-F]{4} : +[0-9]+"));
  }

  const platform::ProgramRun status =
      RunBuilt({"--emulate", "2", "status", "--card", "2", "--json"});

  EXPECT_EQ(status.exit_code, 0) << status.errors;
  const std::vector<JsonValue> readings = JsonLines(status);
  ASSERT_EQ(readings.size(), 1u) << status.output;
  for (const JsonValue& reading : readings) {
    EXPECT_EQ(reading["card"].number, 2);
    // Nothing has programmed the emulated module's bit rate yet.
    EXPECT_EQ(reading["lock"].text, "SEARCH");
    EXPECT_TRUE(reading["polled"].boolean);
    EXPECT_TRUE(reading["complete"].boolean);
    EXPECT_EQ(reading["built_in_test"].items.size(), 5u);
    EXPECT_EQ(reading["irig_time"].kind, JsonValue::Kind::kNumber);
  }
  EXPECT_EQ(status.errors, "");
  // The library beside the program binds at the first attempt.
  EXPECT_THAT(ReadText(Path("zorvctl.Log")),
              ::testing::Not(HasSubstr("Normal Customer DLL Not Loaded")));
}

TEST_F(EmulatedZorvctlTest, BerWithForcedErrorsCountsThemAtTheirRateWhileLocked) {
  const platform::ProgramRun ber = RunBuilt(
      {"--emulate", "2", "ber", "--card", "1", "--seconds", "2", "--forced-errors", "--json"});

  EXPECT_EQ(ber.exit_code, 0) << ber.errors;
  const std::vector<JsonValue> readings = JsonLines(ber);
  ASSERT_EQ(readings.size(), 3u) << ber.output;
  EXPECT_EQ(readings[0]["reading"].text, "progress");
  EXPECT_GT(readings[1]["bit_count"].number, readings[0]["bit_count"].number);
  const JsonValue& summary = readings[2];
  EXPECT_EQ(summary["reading"].text, "summary");
  EXPECT_EQ(summary["lock"].text, "LOCK");
  EXPECT_TRUE(summary["forced_errors"].boolean);
  // The module counts at the programmed 1024000 bit/s, and forces one error per 1000 bits. The
  // errors are read a moment after the bits; counting the bits at that moment keeps the short
  // test from reading high (by a tenth, taking the bits read before).
  EXPECT_GT(summary["bit_count"].number, 1'000'000);
  EXPECT_GT(summary["error_count"].number, 0);
  EXPECT_NEAR(summary["ber"].number, 0.001, 0.00003);
  // zorvctl gives the rate to five significant digits.
  EXPECT_NEAR(summary["ber"].number, summary["error_count"].number / summary["bit_count"].number,
              summary["ber"].number * 1e-4);
}

TEST_F(EmulatedZorvctlTest, AScenarioCardWithoutModuleIsShownAndRefusesATest) {
  const std::string scenario =
      Scenario("[Bus]\r\nCards=2\r\n[Card1]\r\nModule=absent\r\n[Card0]\r\nSignalBer=0.01\r\n");

  const platform::ProgramRun status = RunBuilt({"--emulate", scenario, "status", "--json"});

  EXPECT_EQ(status.exit_code, 0) << status.errors;
  const std::vector<JsonValue> readings = JsonLines(status);
  ASSERT_EQ(readings.size(), 2u) << status.output;
  EXPECT_TRUE(readings[0]["polled"].boolean);
  EXPECT_EQ(readings[1]["lock"].text, "DOES NOT EXIST");
  EXPECT_FALSE(readings[1]["polled"].boolean);

  const platform::ProgramRun refused =
      RunBuilt({"--emulate", scenario, "ber", "--card", "2", "--seconds", "1"});
  EXPECT_EQ(refused.exit_code, 1);
  EXPECT_EQ(refused.errors,
            "zorvctl: ber: card 2 cannot run a bit error test: its bit synchronizer does not "
            "exist\n");

  // The scenario's channel errors show without forced errors.
  const platform::ProgramRun ber =
      RunBuilt({"--emulate", scenario, "ber", "--card", "1", "--seconds", "1"});
  EXPECT_EQ(ber.exit_code, 0) << ber.errors;
  EXPECT_THAT(ber.output, HasSubstr("summary: 15-bit internal pattern, forced errors off"));
  // The scenario's 1 %, not the 1.2 % a bit count read before the errors gave. Within 5 %: the
  // figure depends on the real time between the reads, and a loaded machine gave 9.82E-3.
  EXPECT_THAT(ber.output, HasMatch("BER (9\\.[5-9][0-9]+E-0003|1\\.0[0-4][0-9]+E-0002)"));
}

TEST_F(EmulatedZorvctlTest, LoadProgramsTheCardsAndSaveWritesTheSetups) {
  WriteText(Path("pass.zorv"),
            "[BITSYNC_0]\r\nModel=KELT_20\r\nInputCode=BIOL\r\nBitRate=2000000\r\n"
            "[IRIG_1]\r\nSourceFormat=IRIG G\r\nSourceExternal=YES\r\n");

  const platform::ProgramRun load = RunBuilt({"--emulate", "2", "load", "pass.zorv"});

  EXPECT_EQ(load.exit_code, 0) << load.errors;
  EXPECT_THAT(load.output, HasSubstr("card 1: KELT_20, SE_INPUT 2, BIOL to NRZL, 2000000 bit/s"));
  EXPECT_THAT(load.output, HasSubstr("card 2: KELT_20, SE_INPUT 2, NRZL to NRZL, 1024000 bit/s, "
                                     "quick react off; IRIG G, External, flywheel Enabled"));

  const platform::ProgramRun save = RunBuilt({"--emulate", "2", "save", "copy.zorv"});

  EXPECT_EQ(save.exit_code, 0) << save.errors;
  const std::string copy = ReadText(SetupFilePathAsKept(Path("copy.zorv")));
  EXPECT_THAT(copy, HasSubstr("InputCode=BIOL\r\nOutputCode=NRZL\r\n"));
  EXPECT_THAT(copy, HasSubstr("BitRate=2000000\r\n"));
  EXPECT_THAT(copy, HasSubstr("[IRIG_1]\r\nSourceFormat=IRIG G\r\nSourceExternal=YES\r\n"));
  EXPECT_THAT(ReadText(Path("ZORVCFG.CFG")),
              HasSubstr("LastSetupFile=" + SetupFilePathAsKept(Path("copy.zorv"))));
}

TEST_F(EmulatedZorvctlTest, IrigProgramsTheReaderAndShowsIt) {
  const platform::ProgramRun irig = RunBuilt(
      {"--emulate", "1", "irig", "--card", "1", "--code", "A", "--external", "--flywheel", "on"});

  EXPECT_EQ(irig.exit_code, 0) << irig.errors;
  EXPECT_THAT(irig.output, MatchesWhole("card 1 IRIG: IRIG A, External, flywheel Enabled, time "
                                        "[0-9]{3}:[0-9]{2}:[0-9]{2}:[0-9]{2}\\.[0-9]{3}, "
                                        "status [A-Z]+\n"));
  // Decoding the station's signal, the reader has the PC's day of the year, not day 0.
  const size_t time = irig.output.find("time ");
  ASSERT_NE(time, std::string::npos);
  EXPECT_NE(irig.output.substr(time + 5, 3), "000");
  EXPECT_THAT(ReadText(Path("ZORVCFG.CFG")), HasSubstr("[IRIG_0]\r\nSourceFormat=IRIG A\r\n"));

  const std::string no_signal = Scenario("[Bus]\r\nCards=1\r\n[Card0]\r\nIrigSignal=NO\r\n");
  const platform::ProgramRun lost =
      RunBuilt({"--emulate", no_signal, "irig", "--card", "1", "--flywheel", "off"});

  EXPECT_EQ(lost.exit_code, 1);
  EXPECT_THAT(lost.output, HasSubstr("flywheel Off, time 000:00:00:00.000, status ERROR\n"));
  EXPECT_EQ(lost.errors, "zorvctl: irig: card 1 gave no IRIG time\n");
}

// As the README's sequence: a load in one run, a status in the next.
TEST_F(EmulatedZorvctlTest, EmulatedCardsKeepTheirProgrammingFromOneRunToTheNext) {
  // The cards keep their state in the runtime folder; here the test's own.
  const ScopedEnvironmentVariable kept(emulator::kFreshVariable, "");
  const ScopedEnvironmentVariable runtime_folder("XDG_RUNTIME_DIR", Path(""));
  const ScopedEnvironmentVariable temporary_folder("TMP", Path(""));
  WriteText(Path("PASS.ZORV"), "[BITSYNC_0]\r\nModel=KELT_20\r\nBitRate=1024000\r\n");
  ASSERT_EQ(RunBuilt({"--emulate", "2", "load", "PASS.ZORV"}).exit_code, 0);

  const auto card_1 = [&](const std::vector<std::string>& words) {
    const platform::ProgramRun status = RunBuilt(words);
    EXPECT_EQ(status.exit_code, 0) << status.errors;
    const std::vector<JsonValue> readings = JsonLines(status);
    return readings.empty() ? JsonValue{} : readings[0];
  };
  const JsonValue next_run = card_1({"--emulate", "2", "status", "--card", "1", "--json"});
  EXPECT_EQ(next_run["programmed_bit_rate"].number, 1024000);
  EXPECT_EQ(next_run["lock"].text, "LOCK");
  // The internal clock, seeded at the load, ran on.
  EXPECT_THAT(next_run["irig_time_text"].text, ::testing::Not(::testing::StartsWith("000:")));

  // Without setups kept in ZORVCFG.CFG nothing is programmed: the card still has its own.
  std::filesystem::remove(Path("ZORVCFG.CFG"));
  const JsonValue unprogrammed = card_1({"--emulate", "2", "status", "--card", "1", "--json"});
  EXPECT_EQ(unprogrammed["programmed_bit_rate"].number, 1024000);

  const JsonValue fresh =
      card_1({"--emulate", "2", "--emulate-fresh", "status", "--card", "1", "--json"});
  EXPECT_EQ(fresh["programmed_bit_rate"].number, 0);
  EXPECT_THAT(fresh["irig_time_text"].text, ::testing::StartsWith("000:"));
}

#if ZORVCTL_SERVES_METRICS
// Milliseconds of the system's UTC clock, which zorvctl stamps its journal with.
int64_t UtcMilliseconds() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

// Real time, about 20 s, the only long test of the suite: the emulated signal comes and goes on
// the clock of the library that the built zorvctl loads, the real one, and a loss can only be
// journaled as it happens.
TEST_F(EmulatedZorvctlTest, MonitorJournalsTheScheduledLossesRecordsThePassAndServesMetrics) {
  // Lost at 5 s, back at 7 s, lost at 12 s ... from the library's start; the setup kept for the
  // card lets it lock. A module made before the newer firmware's date answers every lock poll
  // (the newer one every fourth, so a change shows only within about 1.3 s there).
  const std::string scenario = Scenario(
      "[Bus]\r\nCards=1\r\n[Card0]\r\nSignalSchedule=on 5, off 2\r\n"
      "Configuration=0x00,0x00,0x4E,0x07,0x07,0x0D\r\n");
  WriteText(Path("ZORVCFG.CFG"), "[BITSYNC_0]\r\nModel=KELT_20\r\nBitRate=1024000\r\n");
  // Bind to port 0 cannot be asked for on the command line: a port from the process id, and the
  // next ones while they are taken.
  platform::ProgramRun run;
  int64_t started_ms = 0;
  std::optional<httplib::Result> scraped;
  for (int attempt = 0; attempt < 5; ++attempt) {
    const int port = 20000 + static_cast<int>((platform::ProcessId() * 13 + attempt) % 40000);
    started_ms = UtcMilliseconds();
    std::thread zorvctl([&] {
      run = RunBuilt({"--emulate", scenario, "monitor", "--seconds", "20", "--csv", "pass.csv",
                      "--metrics", "127.0.0.1:" + std::to_string(port), "--json"});
    });
    std::this_thread::sleep_for(std::chrono::seconds(3));
    httplib::Client client("127.0.0.1", port);
    scraped = client.Get("/metrics");
    zorvctl.join();
    if (run.errors.find("cannot serve the metrics") == std::string::npos) break;
  }

  EXPECT_EQ(run.exit_code, 0) << run.errors;
  ASSERT_TRUE(scraped && *scraped) << "no answer from /metrics";
  EXPECT_EQ((*scraped)->status, 200);
  EXPECT_EQ((*scraped)->get_header_value("Content-Type"),
            "application/openmetrics-text; version=1.0.0; charset=utf-8");
  EXPECT_THAT((*scraped)->body, HasSubstr("\nzorv_lock_state{card=\"1\"} 2\n"));
  EXPECT_THAT((*scraped)->body, ::testing::EndsWith("# EOF\n"));

  // Every change of lock within a second of the schedule's: losses at 5, 12 and 19 s, locks
  // again at 7 and 14 s (and at 21 s when the run ended late enough).
  std::vector<double> losses;
  std::vector<double> locks;
  const std::vector<JsonValue> lines = JsonLines(run);
  for (const JsonValue& line : lines) {
    if (line["kind"].text != "journal") continue;
    const double at = (line["utc_ms"].number - static_cast<double>(started_ms)) / 1000;
    if (line["event"].text == "LOCK LOST") losses.push_back(at);
    if (line["event"].text == "LOCK ACQUIRED") locks.push_back(at);
  }
  const auto within_a_second = [](const std::vector<double>& seen, std::vector<double> expected) {
    if (seen.size() > expected.size()) return false;
    for (size_t i = 0; i < seen.size(); ++i) {
      if (seen[i] < expected[i] || seen[i] > expected[i] + 1) return false;
    }
    return true;
  };
  EXPECT_EQ(losses.size(), 3u) << run.output;
  EXPECT_TRUE(within_a_second(losses, {5, 12, 19})) << ::testing::PrintToString(losses);
  EXPECT_GE(locks.size(), 2u) << run.output;
  EXPECT_TRUE(within_a_second(locks, {7, 14, 21})) << ::testing::PrintToString(locks);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back()["kind"].text, "summary");
  EXPECT_EQ(lines.back()["lock_losses"].number, 3);

  // A row a second, and the journal's lines beside it.
  const std::string rows = ReadText(Path("pass.csv"));
  EXPECT_THAT(rows, ::testing::StartsWith("utc,irig_time,card,lock_state,lock,es_no_db,signal_v,"));
  EXPECT_EQ(std::count(rows.begin(), rows.end(), '\n'), 1 + 20) << rows;
  const std::string journal = ReadText(Path("pass-journal.csv"));
  EXPECT_THAT(journal, ::testing::StartsWith("utc,irig_time,card,event,text\r\n"));
  EXPECT_EQ(std::count(journal.begin(), journal.end(), '\n'),
            static_cast<std::ptrdiff_t>(1 + lines.size() - 3))
      << journal;
}
#endif

TEST_F(EmulatedZorvctlTest, AnEmulateValueThatIsNeitherCardsNorAScenarioIsWrongUsage) {
  std::filesystem::create_directory(Path("folder"));
  for (const std::string value : {"-1", "17", "2x", "missing.ini", "folder"}) {
    SCOPED_TRACE(value);
    const platform::ProgramRun run = RunBuilt({"--emulate", value, "list"});
    EXPECT_EQ(run.exit_code, 2);
    EXPECT_EQ(run.errors,
              "zorvctl: --emulate takes a card count 0 to 16 or a readable scenario "
              "file; " +
                  value + " is neither (see 'zorvctl list --help')\n");
    EXPECT_EQ(run.output, "");
  }
}

TEST_F(EmulatedZorvctlTest, NoCardIsAFailureAndTheLibrarysLogSaysWhy) {
  const std::string no_card =
      "zorvctl: the library found no card (its log ZORVDLL.Log says why); --simulate works on "
      "the operator program's simulated cards\n";
  const platform::ProgramRun none = RunBuilt({"--emulate", "0", "status", "--json"});
  EXPECT_EQ(none.exit_code, 1);
  EXPECT_EQ(none.errors, no_card);
  EXPECT_EQ(none.output, "");

  const std::pair<std::string, std::string> scenarios[] = {
      {"", "[Bus] Cards: missing"},
      {"[Bus]\r\nCards=1000\r\n", "[Bus] Cards=1000: expected a card count 0 to 16"},
      {"[Bus]\r\nCards=1\r\n[Card0]\r\nSignalRate=2048000\r\n",
       "[Card0] SignalRate=2048000: no such key"},
      {"[Bus]\r\nCards=1\r\n[Card1]\r\nModule=absent\r\n", "[Card1]: beyond Cards=1"},
  };
  for (const auto& [text, problem] : scenarios) {
    SCOPED_TRACE(problem);
    const std::string scenario = Scenario(text);
    const platform::ProgramRun run = RunBuilt({"--emulate", scenario, "list"});
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_EQ(run.errors, "ZORV_EMULATE: " + scenario + ": " + problem + "\n" + no_card);
    EXPECT_THAT(ReadText(Path("ZORVDLL.Log")),
                HasSubstr("ZORV_EMULATE: " + scenario + ": " + problem));
  }
}

TEST_F(EmulatedZorvctlTest, FailuresAndWrongUsageAreOneLineWithTheirExitCodes) {
  const platform::ProgramRun no_card = RunBuilt({"--emulate", "1", "status", "--card", "2"});
  EXPECT_EQ(no_card.exit_code, 1);
  EXPECT_EQ(no_card.errors, "zorvctl: status: there is no card 2; 1 card is in use\n");
  EXPECT_EQ(no_card.output, "");

  const platform::ProgramRun usage = RunBuilt({"--emulate", "1", "ber", "--card", "1"});
  EXPECT_EQ(usage.exit_code, 2);
  EXPECT_EQ(usage.errors, "zorvctl: ber needs --seconds S (see 'zorvctl ber --help')\n");
}

}  // namespace
