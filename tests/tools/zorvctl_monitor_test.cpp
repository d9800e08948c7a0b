// zorvctl monitor inside the test against the fake library, on virtual time: the lock journal,
// the summary, the pass record's files; and what it serves as metrics.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <regex>

#include "app/LinkMonitor.h"
#include "platform/process.h"
#include "tests/tools/JsonReader.h"
#include "tests/tools/ZorvctlTestFixture.h"
#include "tools/zorvctl/ZorvctlMetricsServer.h"
#include "tools/zorvctl/ZorvctlMonitor.h"

namespace {

using ::testing::HasSubstr;

// Virtual time along which the fake card's lock state follows a script, and whose IRIG time
// runs with the clock (so that the IRIG time never seems to jump).
class ScriptedLinkClock final : public platform::Clock {
 public:
  // Lock state codes from the times given (seconds) on.
  ScriptedLinkClock(FakeZorvDllState& fake, std::map<double, int32_t> lock_script)
      : fake_(fake), script_(std::move(lock_script)) {
    Apply();
  }
  void Sleep(uint32_t milliseconds) override {
    time_.Advance(int64_t{milliseconds} * 1'000'000);
    Apply();
  }
  void Yield() override { time_.Yield(); }
  int64_t PerformanceCounter() override { return time_.PerformanceCounter(); }
  int64_t PerformanceFrequency() override { return time_.PerformanceFrequency(); }
  platform::LocalTime Now() override { return time_.Now(); }
  int64_t MonotonicNanoseconds() override { return time_.MonotonicNanoseconds(); }

  // Ctrl+C, once, when the time comes.
  void InterruptAt(double seconds) { interrupt_at_ = seconds; }

 private:
  void Apply() {
    const double seconds = static_cast<double>(time_.MonotonicNanoseconds()) * 1e-9;
    if (seconds >= interrupt_at_) {
      platform::RequestInterrupt();
      interrupt_at_ = 1e300;
    }
    const auto step = script_.upper_bound(seconds);
    if (step != script_.begin()) fake_.bitsync_status = std::prev(step)->second;
    fake_.irig_time = 86400.5 + seconds;
  }

  FakeZorvDllState& fake_;
  std::map<double, int32_t> script_;
  platform::VirtualClock time_;
  double interrupt_at_ = 1e300;
};

constexpr int32_t kNoSignal = 0;
constexpr int32_t kSearch = 1;
constexpr int32_t kLock = 2;

class MonitorTest : public ZorvctlTest {
 protected:
  void SetUp() override {
    ZorvctlTest::SetUp();
    fake_ = &InstallFake();
  }

  // The text output without the UTC time that starts each journal line.
  static std::string WithoutTimes(const std::string& text) {
    return std::regex_replace(text, std::regex("(^|\n)[0-9]{4}-[0-9T:.-]+Z "), "$1");
  }

  // A journal line of the text output, after its UTC time.
  static std::string JournalLine(int32_t card, const std::string& text) {
    return "card " + std::to_string(card) + " " + text + "\n";
  }

  static size_t LineCount(const std::string& text) {
    return static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
  }

  FakeZorvDllState* fake_ = nullptr;
};

TEST_F(MonitorTest, JournalsEveryChangeOfLockAndSummarizesTheLossesFromLossToLock) {
  // Lost at 3 s through two states until 6 s; lost again at 7 s and not back when the run ends.
  ScriptedLinkClock clock(*fake_,
                          {{0, kLock}, {3, kSearch}, {4, kNoSignal}, {6, kLock}, {7, kSearch}});
  const platform::ScopedClock scoped(clock);

  EXPECT_EQ(Run({"monitor", "--card", "2", "--seconds", "12", "--json"}), 0) << err_;

  const std::vector<JsonValue> lines = ReadJsonLines(out_).value_or(std::vector<JsonValue>{});
  ASSERT_EQ(lines.size(), 5u) << out_;
  const std::pair<const char*, const char*> events[] = {
      {"LOCK LOST", "SEARCH after LOCK for 3.0 s; Es/No 12.3 dB, signal 12.30 V"},
      {"LOCK STATE", "NOCLK_NOSIG after SEARCH for 1.0 s"},
      {"LOCK ACQUIRED", "LOCK after NOCLK_NOSIG for 2.0 s; Es/No 12.3 dB, signal 12.30 V"},
      {"LOCK LOST", "SEARCH after LOCK for 1.0 s; Es/No 12.3 dB, signal 12.30 V"},
  };
  for (size_t i = 0; i < std::size(events); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(lines[i]["kind"].text, "journal");
    EXPECT_EQ(lines[i]["card"].number, 2);
    EXPECT_EQ(lines[i]["event"].text, events[i].first);
    EXPECT_EQ(lines[i]["text"].text, events[i].second);
  }
  const JsonValue& summary = lines[4];
  EXPECT_EQ(summary["kind"].text, "summary");
  EXPECT_EQ(summary["lock_losses"].number, 2);
  // The lock is read four times a second: watched from 0 to 11.75 s, locked 3 s + 1 s of it.
  EXPECT_EQ(summary["seconds"].number, 11.75);
  EXPECT_NEAR(summary["locked_percent"].number, 100 * 4 / 11.75, 0.001);
  // From loss to lock through both states (3 s), and the loss under way at the end (4.75 s).
  EXPECT_EQ(summary["longest_loss_seconds"].number, 4.75);
  EXPECT_EQ(summary["es_no_min_db"].number, 12.3);
  EXPECT_EQ(summary["es_no_max_db"].number, 12.3);
  EXPECT_TRUE(summary["ber"].IsNull()) << "no bit error test ran";
}

TEST_F(MonitorTest, CtrlCEndsTheWatchWithASummaryPerCardAndTheFirstLockIsNoLoss) {
  ScriptedLinkClock clock(*fake_, {{0, kSearch}, {1.5, kLock}});
  const platform::ScopedClock scoped(clock);
  clock.InterruptAt(5.1);
  WriteText(Path("pass.csv"), "an earlier pass\r\n");

  EXPECT_EQ(Run({"monitor", "--csv", "pass.csv"}), 0) << err_;

  EXPECT_EQ(WithoutTimes(out_),
            "recording to pass-2.csv and pass-journal.csv\n" +
                JournalLine(1,
                            "LOCK ACQUIRED: LOCK after SEARCH for 1.5 s; Es/No 12.3 dB, signal "
                            "12.30 V") +
                JournalLine(2,
                            "LOCK ACQUIRED: LOCK after SEARCH for 1.5 s; Es/No 12.3 dB, signal "
                            "12.30 V") +
                "card 1 summary: 5.0 s watched, locked 70.0 %, 0 losses of lock, the longest 0.0 "
                "s; Es/No lowest 12.3, mean 12.3, highest 12.3 dB; BER n/a (no bit error test)\n"
                "card 2 summary: 5.0 s watched, locked 70.0 %, 0 losses of lock, the longest 0.0 "
                "s; Es/No lowest 12.3, mean 12.3, highest 12.3 dB; BER n/a (no bit error test)\n");
  EXPECT_EQ(ReadText(Path("pass.csv")), "an earlier pass\r\n");
  // A row per card and second, up to the Ctrl+C at 5.1 s.
  const std::string rows = ReadText(Path("pass-2.csv"));
  EXPECT_THAT(rows, ::testing::StartsWith("utc,irig_time,card,lock_state,lock,es_no_db,"));
  EXPECT_EQ(LineCount(rows), 1 + 2 * 5u) << rows;
  const std::string journal = ReadText(Path("pass-journal.csv"));
  EXPECT_THAT(journal, ::testing::StartsWith("utc,irig_time,card,event,text\r\n"));
  EXPECT_THAT(journal, HasSubstr(",1,LOCK ACQUIRED,\"LOCK after SEARCH for 1.5 s;"));
  EXPECT_THAT(journal, HasSubstr(",2,LOCK ACQUIRED,\"LOCK after SEARCH for 1.5 s;"));
  EXPECT_EQ(LineCount(journal), 3u) << journal;
}

TEST_F(MonitorTest, WhatCannotBeDoneIsSaidBeforeAnythingIsWatched) {
#if ZORVCTL_SERVES_METRICS
  // A port of this machine that something else serves already.
  zorvctl::MetricsServer taken;
  zorvctl::MetricsAddress address;
  std::string error;
  for (int attempt = 0; attempt < 20 && address.port == 0; ++attempt) {
    address.port = static_cast<uint16_t>(20000 + (platform::ProcessId() * 7 + attempt) % 40000);
    if (!taken.Start(address, error)) address.port = 0;
  }
  ASSERT_NE(address.port, 0) << error;
  const std::string port = std::to_string(address.port);
  const std::string cannot_serve = "cannot serve the metrics on 127.0.0.1:" + port +
                                   " (the address is not this machine's, or the port is taken)";
#else
  const std::string port = "9100";
  const std::string cannot_serve =
      "this zorvctl was built without an HTTP server (cpp-httplib); it cannot serve metrics";
#endif
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"--card", "3"}, "there is no card 3; 2 cards are in use"},
      {{"--csv", "no such folder/pass.csv"},
       "cannot create no such folder/pass.csv; nothing was watched"},
      {{"--csv", "pass.csv", "--metrics", port}, cannot_serve + "; nothing was watched"},
  };
  for (const auto& [options, problem] : cases) {
    SCOPED_TRACE(problem);
    std::vector<std::string> words = {"monitor", "--seconds", "5"};
    words.insert(words.end(), options.begin(), options.end());
    EXPECT_EQ(Run(words), 1);
    EXPECT_EQ(err_, "zorvctl: monitor: " + problem + "\n");
    EXPECT_EQ(out_, "");
    EXPECT_FALSE(std::filesystem::exists(Path("pass.csv"))) << "a record of nothing";
  }
}

TEST(MonitorFiles, TheJournalLiesBesideThePassRecord) {
  const std::pair<const char*, std::string> cases[] = {
      {"pass.csv", "pass-journal.csv"},
      {"pass", "pass-journal.csv"},
      {"records/pass.txt", "records/pass-journal.txt"},
  };
  for (const auto& [csv, journal] : cases) {
    EXPECT_EQ(zorvctl::JournalFileFor(csv), journal) << csv;
  }
}

// What the metrics endpoint serves.
TEST(MonitorMetrics, ASmallBitErrorRateKeepsItsDigits) {
  LinkMonitor monitor(0);
  BitsyncStatusData values;
  values.bit_error_rate = 2.5e-7;
  monitor.OnPolledValues(MonitorTime{}, values, true);
  EXPECT_THAT(OpenMetricsText({&monitor}), HasSubstr("\nzorv_ber{card=\"1\"} 2.5e-07\n"));
}

}  // namespace
