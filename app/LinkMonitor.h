#pragma once
// The link monitor of one card: what a station engineer asks after a pass ("when did we lose
// lock, for how long, what was Es/No doing, was the time code sane?"). It is fed every reading
// the card's threads make, keeps a bounded history of one sample a second, a journal of the
// link's events, and the IRIG time's health. Time is passed in, never read here, so that tests
// script it. No Qt: ZorvApp and zorvctl share it.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "app/Progzorvunit.h"

// Where a reading was taken in time: the PC's UTC time (milliseconds since 1970), the PC's
// local time of year and a monotonic clock (both seconds); the IRIG time of year comes with the
// IRIG readings.
struct MonitorTime {
  int64_t utc_ms = 0;
  double pc_time_of_year = 0;
  double monotonic_s = 0;
};
// Now, from the system's UTC clock and the process clock.
MonitorTime MonitorNow();
// Halfway between two times: the moment of a reading taken by a call that lasted from a to b.
MonitorTime Midpoint(const MonitorTime& a, const MonitorTime& b);

// The latest values, one sample a second in the history.
struct LinkSample {
  int64_t utc_ms = 0;
  double irig_time = 0;      // seconds of the year, 0 before the first IRIG reading
  int32_t lock_status = -1;  // -1 before the first lock read
  double es_no_db = 0;
  double signal_volts = 0;
  double offset_hz = 0;
  uint32_t bit_count = 0;
  uint32_t error_count = 0;
  double ber = 0;
  bool ber_testing = false;
  int32_t irig_status = -1;
  double irig_offset_s = 0;  // IRIG minus PC time of year
};

enum class JournalEvent {
  kLockAcquired,
  kLockLost,
  kLockChanged,  // between two states that are neither of the above (SEARCH to ERROR)
  kIrigStatus,
  kIrigJump,
  kSetupLoaded,
  kBerTestStarted,
  kBerTestStopped,
  kChangeRefused,
};

// "LOCK ACQUIRED", "LOCK LOST", ...
const char* JournalEventName(JournalEvent event);

struct JournalEntry {
  int64_t utc_ms = 0;
  double irig_time = 0;
  JournalEvent event = JournalEvent::kLockChanged;
  std::string text;
};

// Minimum, maximum and mean of a value over a window of the history.
struct ValueSummary {
  size_t samples = 0;
  double minimum = 0;
  double maximum = 0;
  double mean = 0;
};

class LinkMonitor {
 public:
  // A day at one sample a second, and the latest journal entries.
  static constexpr size_t kHistorySamples = 86400;
  static constexpr size_t kJournalEntries = 10000;
  // An IRIG time that does not advance with the PC clock within this over a second has jumped.
  static constexpr double kIrigJumpTolerance_s = 0.005;

  explicit LinkMonitor(int32_t card, size_t history_samples = kHistorySamples);

  int32_t card() const { return card_; }

  // Feeds, in the order the card's threads make the readings.
  void OnLockStatus(const MonitorTime& at, int32_t status);
  void OnPolledValues(const MonitorTime& at, const BitsyncStatusData& status, bool ber_testing);
  void OnIrig(const MonitorTime& at, double irig_time, int32_t irig_status);
  // A setup the card took: the entry says what changed from the one loaded before.
  void OnSetupLoaded(const MonitorTime& at, const BitsyncSetup& setup);
  void OnIrigSetupLoaded(const MonitorTime& at, const IrigSetup& setup);
  void OnChangeRefused(const MonitorTime& at, const std::string& what);
  // Appends the latest values to the history; called once a second.
  void TakeSample(const MonitorTime& at);

  const LinkSample& Latest() const { return latest_; }
  const std::deque<LinkSample>& History() const { return history_; }
  const std::deque<JournalEntry>& Journal() const { return journal_; }
  // Journal entries appended since the given count of entries ever written.
  std::vector<JournalEntry> JournalSince(uint64_t written) const;
  uint64_t JournalWritten() const { return journal_written_; }

  // Over the samples from `from_utc_ms` on; a field chosen by pointer to member.
  ValueSummary Summarize(double LinkSample::*field, int64_t from_utc_ms) const;

  // Counters and health.
  uint64_t LockLosses() const { return lock_losses_; }
  double LockedSeconds() const { return locked_s_; }
  double MonitoredSeconds() const { return monitored_s_; }
  // From the loss to the next lock, through every state between; a loss still under way counts
  // up to the latest lock read.
  double LongestLoss_s() const;
  double FlywheelSeconds() const { return flywheel_s_; }
  uint64_t IrigJumps() const { return irig_jumps_; }
  // Change of the IRIG offset over the last minute (seconds per minute); 0 until a minute of
  // IRIG readings is there.
  double IrigDrift_s_per_min() const;

 private:
  void Write(const MonitorTime& at, JournalEvent event, std::string text);
  void AccountLockTime(const MonitorTime& at);

  int32_t card_;
  size_t history_samples_;
  LinkSample latest_;
  std::deque<LinkSample> history_;
  std::deque<JournalEntry> journal_;
  uint64_t journal_written_ = 0;
  // Lock state and when it began.
  std::optional<double> lock_since_s_;
  std::optional<double> last_lock_read_s_;
  uint64_t lock_losses_ = 0;
  double locked_s_ = 0;
  double monitored_s_ = 0;
  double longest_loss_s_ = 0;
  std::optional<double> loss_since_s_;
  // The IRIG reading the jump test compares with, at least a second back.
  std::optional<std::pair<double, double>> irig_reference_;  // monotonic s, IRIG time
  std::optional<double> last_irig_read_s_;
  double flywheel_s_ = 0;
  uint64_t irig_jumps_ = 0;
  std::deque<std::pair<double, double>> irig_offsets_;  // monotonic s, offset, last minute
  std::optional<BitsyncSetup> last_setup_;
  std::optional<IrigSetup> last_irig_setup_;
  bool ber_testing_ = false;
};

// The metrics of the cards in the OpenMetrics text format, for a station's monitoring.
std::string OpenMetricsText(const std::vector<const LinkMonitor*>& monitors);

// A pass record: one CSV row per card per second, and the journal in its own CSV. Each
// recording makes new files (a "-2", "-3" ... before the extension when the name is taken) and
// flushes every row, so that a crash loses at most the last second.
class PassRecorder {
 public:
  // False with a reason when a file cannot be made.
  bool Start(const std::string& samples_path, const std::string& journal_path, std::string& error);
  void Stop();
  bool Recording() const { return samples_ != nullptr; }
  const std::string& SamplesPath() const { return samples_path_; }
  const std::string& JournalPath() const { return journal_path_; }
  void WriteSample(int32_t card, const LinkSample& sample);
  void WriteJournal(int32_t card, const JournalEntry& entry);

  PassRecorder() = default;
  ~PassRecorder() { Stop(); }
  PassRecorder(const PassRecorder&) = delete;
  PassRecorder& operator=(const PassRecorder&) = delete;

 private:
  std::FILE* samples_ = nullptr;
  std::FILE* journal_ = nullptr;
  std::string samples_path_;
  std::string journal_path_;
};

// "2026-12-10T06:59:21.860Z".
std::string UtcIsoText(int64_t utc_ms);
