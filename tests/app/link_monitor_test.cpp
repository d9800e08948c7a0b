#include <gtest/gtest.h>

#include <clocale>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "app/LinkMonitor.h"
#include "platform/process.h"
#include "tests/common/ScratchFolder.h"

namespace {

constexpr int32_t kNoSignal = 0;
constexpr int32_t kSearch = 1;
constexpr int32_t kLock = 2;

// 2026-12-10 12:00:00 UTC, day 344 of the PC's local year.
constexpr int64_t kStartUtcMs = 1'796'904'000'000;
constexpr double kStartTimeOfYear = 344 * 86400.0 + 12 * 3600.0;

MonitorTime At(double seconds) {
  return {kStartUtcMs + static_cast<int64_t>(seconds * 1000), kStartTimeOfYear + seconds, seconds};
}

std::vector<std::string> Events(const LinkMonitor& monitor) {
  std::vector<std::string> events;
  for (const JournalEntry& entry : monitor.Journal()) {
    events.push_back(std::string(JournalEventName(entry.event)) + ": " + entry.text);
  }
  return events;
}

TEST(LinkMonitor, JournalsEveryChangeOfTheLockWithHowLongTheStateBeforeLasted) {
  LinkMonitor monitor(0);
  BitsyncStatusData values;
  values.es_no = 14.5;
  values.signal_voltage = 1.25;
  const struct {
    double at;
    int32_t status;
  } readings[] = {{0, kSearch},    {2, kLock},   {10, kLock},
                  {12.5, kSearch}, {15, kLock},  {17, kZorvApiLockBusy},
                  {20, kNoSignal}, {21, kSearch}};
  for (const auto& reading : readings) {
    monitor.OnPolledValues(At(reading.at), values, false);
    monitor.OnLockStatus(At(reading.at), reading.status);
  }
  EXPECT_EQ(Events(monitor),
            (std::vector<std::string>{
                "LOCK ACQUIRED: LOCK after SEARCH for 2.0 s; Es/No 14.5 dB, signal 1.25 V",
                "LOCK LOST: SEARCH after LOCK for 10.5 s; Es/No 14.5 dB, signal 1.25 V",
                "LOCK ACQUIRED: LOCK after SEARCH for 2.5 s; Es/No 14.5 dB, signal 1.25 V",
                "LOCK LOST: NOCLK_NOSIG after LOCK for 5.0 s; Es/No 14.5 dB, signal 1.25 V",
                "LOCK STATE: SEARCH after NOCLK_NOSIG for 1.0 s"}));
  EXPECT_EQ(monitor.LockLosses(), 2u);
  EXPECT_DOUBLE_EQ(monitor.LongestLoss_s(), 2.5);
  EXPECT_DOUBLE_EQ(monitor.LockedSeconds(), 15.5);
  EXPECT_DOUBLE_EQ(monitor.MonitoredSeconds(), 21.0);
  EXPECT_EQ(monitor.Journal().front().utc_ms, kStartUtcMs + 2000);
}

TEST(LinkMonitor, JournalsIrigStatusChangesJumpsAndBackwardsTime) {
  LinkMonitor monitor(1);
  const double irig_start = 344 * 86400.0 + 12 * 3600.0 + 0.25;  // 0.25 s ahead of the PC
  const struct {
    double at;
    double irig_offset;  // from the PC time of year at that moment
    int32_t status;
  } readings[] = {
      {0.0, 0.25, 1},  {0.2, 0.25, 1},  {1.0, 0.25, 1},  // advancing with the PC
      {2.0, 0.252, 1},                                   // 2 ms in a second: still sane
      {3.0, 0.30, 3},                                    // flywheel, and 48 ms off
      {4.0, 0.30, 3},  {5.0, -1.70, 3},                  // 2 s back
      {6.0, -1.70, 1},
  };
  for (const auto& reading : readings) {
    monitor.OnIrig(At(reading.at), irig_start - 0.25 + reading.at + reading.irig_offset,
                   reading.status);
  }
  const std::vector<std::string> events = Events(monitor);
  ASSERT_EQ(events.size(), 4u);
  EXPECT_EQ(events[0], "IRIG STATUS: IRIG status OK -> FLYWHEEL");
  EXPECT_EQ(events[1].rfind("IRIG JUMP: IRIG time moved 1.048 s in 1.000 s of PC time", 0), 0u)
      << events[1];
  EXPECT_EQ(events[2].rfind("IRIG JUMP: IRIG time went back -1.000 s in 1.000 s", 0), 0u)
      << events[2];
  EXPECT_EQ(events[3], "IRIG STATUS: IRIG status FLYWHEEL -> OK");
  EXPECT_EQ(monitor.IrigJumps(), 2u);
  EXPECT_DOUBLE_EQ(monitor.FlywheelSeconds(), 3.0);
  EXPECT_NEAR(monitor.Latest().irig_offset_s, -1.70, 1e-6);
}

TEST(LinkMonitor, DriftIsTheOffsetsChangeOverTheLastMinute) {
  LinkMonitor monitor(0);
  for (int second = 0; second <= 120; ++second) {
    // The IRIG clock runs 1 ms a minute fast.
    monitor.OnIrig(At(second), kStartTimeOfYear + second * (1 + 0.001 / 60), 2);
    if (second == 30) {
      EXPECT_EQ(monitor.IrigDrift_s_per_min(), 0) << "less than a minute yet";
    }
  }
  EXPECT_NEAR(monitor.IrigDrift_s_per_min(), 0.001, 1e-7);
  EXPECT_EQ(monitor.IrigJumps(), 0u);
}

TEST(LinkMonitor, SetupsTestsAndRefusalsAreJournaled) {
  LinkMonitor monitor(0);
  BitsyncSetup setup = kDefaultBitsyncSetup;
  monitor.OnSetupLoaded(At(0), setup);
  setup.BitRate = 2048000;
  setup.InputCode = 3;
  setup.LoopBandwidth = 4;
  setup.Model = 4;
  monitor.OnSetupLoaded(At(1), setup);
  monitor.OnSetupLoaded(At(1.5), setup);  // the same again: nothing new to journal
  BitsyncStatusData values;
  values.bit_count = 1000000;
  values.error_count = 1000;
  values.bit_error_rate = 1e-3;
  monitor.OnPolledValues(At(2), values, true);
  monitor.TakeSample(At(2));
  monitor.OnPolledValues(At(3), values, false);
  monitor.OnChangeRefused(At(4), "The card did not take the bitsync setup.");
  monitor.OnIrigSetupLoaded(At(5), kDefaultIrigSetup);
  monitor.OnIrigSetupLoaded(At(6), kDefaultIrigSetup);
  EXPECT_EQ(Events(monitor),
            (std::vector<std::string>{
                "SETUP LOADED: bitsync: 1024000 bit/s, NRZL",
                "SETUP LOADED: bitsync: BitRate 1024000 -> 2048000, InputCode NRZL -> BIOL, "
                "LoopBandwidth 0.5 -> 0.1, Model KELT_20 -> KELTV2_20",
                "BER TEST STARTED: bit error test on",
                "BER TEST STOPPED: bits 1000000, errors 1000, BER 1.0000e-03",
                "CHANGE REFUSED: The card did not take the bitsync setup.",
                "SETUP LOADED: IRIG: IRIG B, internal, flywheel on"}));
  EXPECT_EQ(monitor.JournalSince(3).size(), 3u);
  EXPECT_EQ(monitor.JournalSince(monitor.JournalWritten()).size(), 0u);
}

TEST(LinkMonitor, HistoryKeepsTheLatestSamplesAndSummarizesAWindow) {
  LinkMonitor monitor(0, 5);
  BitsyncStatusData values;
  for (int second = 0; second < 8; ++second) {
    values.es_no = 10.0 + second;
    monitor.OnPolledValues(At(second), values, false);
    monitor.TakeSample(At(second));
  }
  ASSERT_EQ(monitor.History().size(), 5u);
  EXPECT_EQ(monitor.History().front().es_no_db, 13.0);
  EXPECT_EQ(monitor.History().back().utc_ms, kStartUtcMs + 7000);
  const ValueSummary all = monitor.Summarize(&LinkSample::es_no_db, 0);
  EXPECT_EQ(all.samples, 5u);
  EXPECT_EQ(all.minimum, 13.0);
  EXPECT_EQ(all.maximum, 17.0);
  EXPECT_EQ(all.mean, 15.0);
  const ValueSummary last_two = monitor.Summarize(&LinkSample::es_no_db, kStartUtcMs + 6000);
  EXPECT_EQ(last_two.samples, 2u);
  EXPECT_EQ(last_two.mean, 16.5);
  EXPECT_EQ(monitor.Summarize(&LinkSample::es_no_db, kStartUtcMs + 9000).samples, 0u);
}

// "name{card="N"} value" lines back into a map by "name/N".
std::map<std::string, double> ParseMetrics(const std::string& text, std::string& last_line) {
  std::map<std::string, double> values;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    last_line = line;
    if (line.empty() || line[0] == '#') continue;
    const size_t brace = line.find("{card=\"");
    const size_t close = line.find("\"} ");
    if (brace == std::string::npos || close == std::string::npos) {
      ADD_FAILURE() << "not a sample line: " << line;
      continue;
    }
    const std::string key = line.substr(0, brace) + "/" + line.substr(brace + 7, close - brace - 7);
    values[key] = std::stod(line.substr(close + 3));
  }
  return values;
}

TEST(LinkMetrics, OpenMetricsTextCarriesEachCardsLatestValues) {
  LinkMonitor first(0);
  LinkMonitor second(1);
  BitsyncStatusData values;
  values.es_no = 12.25;
  values.bit_error_rate = 2.5e-4;
  first.OnPolledValues(At(0), values, true);
  first.OnLockStatus(At(0), kLock);
  first.OnLockStatus(At(3), kSearch);
  first.OnIrig(At(3), kStartTimeOfYear + 3 + 0.125, 3);
  second.OnLockStatus(At(0), kLock);
  second.OnLockStatus(At(1), kZorvApiLockBusy);  // not read: still locked as far as we know
  std::string last_line;
  const auto metrics = ParseMetrics(OpenMetricsText({&first, &second}), last_line);
  EXPECT_EQ(last_line, "# EOF");
  const std::map<std::string, double> expected = {
      {"zorv_lock_state/1", 1},
      {"zorv_lock_state/2", 2},
      {"zorv_locked/1", 0},
      {"zorv_locked/2", 1},
      {"zorv_esno_db/1", 12.25},
      {"zorv_ber/1", 2.5e-4},
      {"zorv_lock_losses_total/1", 1},
      {"zorv_lock_losses_total/2", 0},
      {"zorv_irig_offset_seconds/1", 0.125},
      {"zorv_irig_status/1", 3},
      {"zorv_locked_seconds_total/1", 3},
  };
  for (const auto& [key, value] : expected) {
    ASSERT_TRUE(metrics.count(key)) << key;
    EXPECT_NEAR(metrics.at(key), value, 1e-6) << key;
  }
}

class PassRecorderTest : public ::testing::Test {
 protected:
  std::string Path(const std::string& name) const { return folder_.Path(name); }
  zorv_test::ScratchFolder folder_{"zorv_pass_record"};
};

TEST_F(PassRecorderTest, EachRecordingMakesNewFilesWrittenRowByRow) {
  LinkMonitor monitor(1);
  BitsyncStatusData values;
  values.es_no = 15.5;
  values.signal_voltage = 1.375;
  monitor.OnPolledValues(At(0), values, false);
  monitor.OnLockStatus(At(0), kLock);
  monitor.OnIrig(At(0), kStartTimeOfYear + 0.5, 1);
  monitor.OnChangeRefused(At(0.5), "The card did not take the IRIG setup, \"busy\"");
  monitor.TakeSample(At(1));

#ifdef ZORV_TEST_LOCALES
  platform::SetEnvironmentVariable("LOCPATH", ZORV_TEST_LOCALES);
#endif
  const std::string saved = std::setlocale(LC_NUMERIC, nullptr);
  const bool comma = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;

  PassRecorder first;
  std::string error;
  ASSERT_TRUE(first.Start(Path("pass.csv"), Path("pass-journal.csv"), error)) << error;
  first.WriteSample(1, monitor.History().back());
  first.WriteJournal(1, monitor.Journal().back());
  // Flushed: another reader sees the rows while the recording goes on.
  const std::string samples = zorv_test::ScratchFolder::ReadText(Path("pass.csv"));
  const std::string journal = zorv_test::ScratchFolder::ReadText(Path("pass-journal.csv"));
  std::setlocale(LC_NUMERIC, saved.c_str());
  EXPECT_EQ(samples,
            "utc,irig_time,card,lock_state,lock,es_no_db,signal_v,offset_hz,bit_count,"
            "error_count,ber,irig_status,irig_offset_s\r\n"
            "2026-12-10T12:00:01.000Z,344:12:00:00.500,2,2,LOCK,15.50,1.375,0.0,0,0,"
            "0.0000e+00,1,0.500000\r\n")
      << (comma ? "with a decimal-comma locale" : "");
  EXPECT_EQ(journal,
            "utc,irig_time,card,event,text\r\n"
            "2026-12-10T12:00:00.500Z,344:12:00:00.500,2,CHANGE REFUSED,"
            "\"The card did not take the IRIG setup, \"\"busy\"\"\"\r\n");

  PassRecorder second;
  ASSERT_TRUE(second.Start(Path("pass.csv"), Path("pass-journal.csv"), error)) << error;
  EXPECT_EQ(second.SamplesPath(), Path("pass-2.csv"));
  EXPECT_EQ(second.JournalPath(), Path("pass-journal-2.csv"));
  EXPECT_FALSE(second.Start(Path("no/such/folder/pass.csv"), Path("j.csv"), error));
  EXPECT_FALSE(second.Recording());
  EXPECT_NE(error.find("no/such/folder/pass.csv"), std::string::npos);
}

}  // namespace
