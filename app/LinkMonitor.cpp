#include "app/LinkMonitor.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <string_view>

#include "app/ZorvCardAccess.h"
#include "app/ZorvSetupFiles.h"
#include "dll/keltnametables.h"
#include "platform/clock.h"
#include "support/Ctimerclass.h"
#include "support/KesBorGenUnit.h"

namespace {

constexpr int32_t kIrigFlywheel = 3;
constexpr double kDriftWindow_s = 60.0;
constexpr const char* kNoChange = "no change";

bool Locked(int32_t status) {
  return status == kZorvApiLockLocked;
}

std::string LockName(int32_t status) {
  return status >= 0 && status < static_cast<int32_t>(kLockStatusCount) ? kLockStatusNames[status]
                                                                        : "UNKNOWN";
}

// A number as text with a decimal point whatever the locale; `digits` after the point.
std::string Number(double x, int digits) {
  if (!std::isfinite(x)) return "NaN";
  char text[64];
  const auto done = std::to_chars(text, text + sizeof text, x, std::chars_format::fixed, digits);
  return std::string(text, done.ptr);
}

std::string Scientific(double x) {
  if (!std::isfinite(x)) return "NaN";
  char text[64];
  const auto done = std::to_chars(text, text + sizeof text, x, std::chars_format::scientific, 4);
  return std::string(text, done.ptr);
}

// As short as the value allows and exact: a bit error rate of 1e-7 must not read 0.
std::string MetricNumber(double x) {
  if (!std::isfinite(x)) return "NaN";
  char text[64];
  const auto done = std::to_chars(text, text + sizeof text, x);
  return std::string(text, done.ptr);
}

std::string Seconds(double s) {
  return Number(s, 1) + " s";
}

// A code's name from its table, else the code itself.
std::string CodeName(const char* const* names, size_t count, int32_t code) {
  return code >= 0 && static_cast<size_t>(code) < count ? std::string(names[code])
                                                        : std::to_string(code);
}

// An IRIG status's name, else its code.
std::string IrigStatusShown(int32_t status) {
  const std::string name = IrigStatusName(status);
  return name.empty() ? std::to_string(status) : name;
}

// What differs between two setups, as "BitRate 1024000 -> 2048000, InputCode NRZL -> BIOL".
std::string SetupChanges(const BitsyncSetup& before, const BitsyncSetup& after) {
  std::string changes;
  const auto add = [&](const char* name, const std::string& from, const std::string& to) {
    if (from == to) return;
    if (!changes.empty()) changes += ", ";
    changes += std::string(name) + " " + from + " -> " + to;
  };
  add("BitRate", std::to_string(before.BitRate), std::to_string(after.BitRate));
  add("InputSource", CodeName(kInputSourcePlainNames, kInputSourceCount, before.InputSource),
      CodeName(kInputSourcePlainNames, kInputSourceCount, after.InputSource));
  add("InputCode", CodeName(kInputCodeNames, kInputCodeCount, before.InputCode),
      CodeName(kInputCodeNames, kInputCodeCount, after.InputCode));
  add("OutputCode", CodeName(kOutputCodeNames, kOutputCodeCount, before.OutputCode),
      CodeName(kOutputCodeNames, kOutputCodeCount, after.OutputCode));
  add("LoopBandwidth", LoopBandwidthText(before).value_or(std::to_string(before.LoopBandwidth)),
      LoopBandwidthText(after).value_or(std::to_string(after.LoopBandwidth)));
  add("Model", CodeName(kModelNames, kModelCount, before.Model),
      CodeName(kModelNames, kModelCount, after.Model));
  add("KnownErrorMode", std::to_string(before.KnownErrorMode),
      std::to_string(after.KnownErrorMode));
  add("Pattern15Bit", std::to_string(before.Pattern15Bit), std::to_string(after.Pattern15Bit));
  return changes.empty() ? kNoChange : changes;
}

}  // namespace

const char* JournalEventName(JournalEvent event) {
  switch (event) {
    case JournalEvent::kLockAcquired:
      return "LOCK ACQUIRED";
    case JournalEvent::kLockLost:
      return "LOCK LOST";
    case JournalEvent::kLockChanged:
      return "LOCK STATE";
    case JournalEvent::kIrigStatus:
      return "IRIG STATUS";
    case JournalEvent::kIrigJump:
      return "IRIG JUMP";
    case JournalEvent::kSetupLoaded:
      return "SETUP LOADED";
    case JournalEvent::kBerTestStarted:
      return "BER TEST STARTED";
    case JournalEvent::kBerTestStopped:
      return "BER TEST STOPPED";
    case JournalEvent::kChangeRefused:
      return "CHANGE REFUSED";
  }
  return "";
}

LinkMonitor::LinkMonitor(int32_t card, size_t history_samples)
    : card_(card), history_samples_(std::max<size_t>(history_samples, 1)) {}

void LinkMonitor::Write(const MonitorTime& at, JournalEvent event, std::string text) {
  journal_.push_back({at.utc_ms, latest_.irig_time, event, std::move(text)});
  if (journal_.size() > kJournalEntries) journal_.pop_front();
  ++journal_written_;
}

void LinkMonitor::AccountLockTime(const MonitorTime& at) {
  if (last_lock_read_s_) {
    const double elapsed = std::max(0.0, at.monotonic_s - *last_lock_read_s_);
    monitored_s_ += elapsed;
    if (Locked(latest_.lock_status)) locked_s_ += elapsed;
  }
  last_lock_read_s_ = at.monotonic_s;
}

void LinkMonitor::OnLockStatus(const MonitorTime& at, int32_t status) {
  // The card was busy with another request and its state was not read: nothing changed that
  // we know of.
  if (status == kZorvApiLockBusy) return;
  AccountLockTime(at);
  const int32_t previous = latest_.lock_status;
  latest_.lock_status = status;
  if (previous == status) return;
  const double lasted = lock_since_s_ ? at.monotonic_s - *lock_since_s_ : 0.0;
  lock_since_s_ = at.monotonic_s;
  if (previous < 0) return;  // the first reading tells no change
  const std::string signal = "Es/No " + Number(latest_.es_no_db, 1) + " dB, signal " +
                             Number(latest_.signal_volts, 2) + " V";
  if (Locked(status) && !Locked(previous)) {
    // The first lock of a run ends no loss.
    if (loss_since_s_) longest_loss_s_ = std::max(longest_loss_s_, at.monotonic_s - *loss_since_s_);
    loss_since_s_.reset();
    Write(at, JournalEvent::kLockAcquired,
          LockName(status) + " after " + LockName(previous) + " for " + Seconds(lasted) + "; " +
              signal);
  } else if (!Locked(status) && Locked(previous)) {
    ++lock_losses_;
    loss_since_s_ = at.monotonic_s;
    Write(at, JournalEvent::kLockLost,
          LockName(status) + " after LOCK for " + Seconds(lasted) + "; " + signal);
  } else {
    Write(at, JournalEvent::kLockChanged,
          LockName(status) + " after " + LockName(previous) + " for " + Seconds(lasted));
  }
}

void LinkMonitor::OnPolledValues(const MonitorTime& at, const BitsyncStatusData& status,
                                 bool ber_testing) {
  latest_.es_no_db = status.es_no;
  latest_.signal_volts = status.signal_voltage;
  latest_.offset_hz = status.offset_frequency;
  latest_.bit_count = status.bit_count;
  latest_.error_count = ber_testing ? status.error_count : 0;
  latest_.ber = ber_testing ? status.bit_error_rate : 0;
  latest_.ber_testing = ber_testing;
  if (ber_testing && !ber_testing_) {
    Write(at, JournalEvent::kBerTestStarted, "bit error test on");
  } else if (!ber_testing && ber_testing_) {
    Write(at, JournalEvent::kBerTestStopped,
          "bits " + std::to_string(history_.empty() ? 0 : history_.back().bit_count) + ", errors " +
              std::to_string(history_.empty() ? 0 : history_.back().error_count) + ", BER " +
              Scientific(history_.empty() ? 0 : history_.back().ber));
  }
  ber_testing_ = ber_testing;
}

void LinkMonitor::OnIrig(const MonitorTime& at, double irig_time, int32_t irig_status) {
  if (last_irig_read_s_ && latest_.irig_status == kIrigFlywheel) {
    flywheel_s_ += std::max(0.0, at.monotonic_s - *last_irig_read_s_);
  }
  last_irig_read_s_ = at.monotonic_s;
  if (irig_status != latest_.irig_status && latest_.irig_status >= 0) {
    Write(at, JournalEvent::kIrigStatus,
          "IRIG status " + IrigStatusShown(latest_.irig_status) + " -> " +
              IrigStatusShown(irig_status));
  }
  latest_.irig_status = irig_status;
  latest_.irig_time = irig_time;
  latest_.irig_offset_s = irig_time - at.pc_time_of_year;
  irig_offsets_.emplace_back(at.monotonic_s, latest_.irig_offset_s);
  while (irig_offsets_.size() > 1 &&
         at.monotonic_s - irig_offsets_.front().first > kDriftWindow_s) {
    irig_offsets_.pop_front();
  }
  if (!irig_reference_) {
    irig_reference_ = {at.monotonic_s, irig_time};
    return;
  }
  const double pc_advance = at.monotonic_s - irig_reference_->first;
  if (pc_advance < 1.0 && irig_time >= irig_reference_->second) return;
  const double irig_advance = irig_time - irig_reference_->second;
  const double tolerance = kIrigJumpTolerance_s * std::max(1.0, pc_advance);
  if (irig_advance < 0 || std::fabs(irig_advance - pc_advance) > tolerance) {
    ++irig_jumps_;
    Write(at, JournalEvent::kIrigJump,
          (irig_advance < 0 ? "IRIG time went back " : "IRIG time moved ") +
              Number(irig_advance, 3) + " s in " + Number(pc_advance, 3) + " s of PC time, to " +
              FormatTimeOfYear(irig_time));
  }
  irig_reference_ = {at.monotonic_s, irig_time};
}

double LinkMonitor::LongestLoss_s() const {
  if (!loss_since_s_ || !last_lock_read_s_) return longest_loss_s_;
  return std::max(longest_loss_s_, *last_lock_read_s_ - *loss_since_s_);
}

double LinkMonitor::IrigDrift_s_per_min() const {
  if (irig_offsets_.size() < 2) return 0;
  const auto& [first_s, first_offset] = irig_offsets_.front();
  const auto& [last_s, last_offset] = irig_offsets_.back();
  if (last_s - first_s < kDriftWindow_s - 1.0) return 0;
  return (last_offset - first_offset) * kDriftWindow_s / (last_s - first_s);
}

void LinkMonitor::OnSetupLoaded(const MonitorTime& at, const BitsyncSetup& setup) {
  // A reload of the same setup (a tab change, "Re Load") tells nothing new.
  const std::string changes = last_setup_ ? SetupChanges(*last_setup_, setup) : std::string();
  last_setup_ = setup;
  if (changes == kNoChange) return;
  Write(at, JournalEvent::kSetupLoaded,
        !changes.empty() ? "bitsync: " + changes
                         : "bitsync: " + std::to_string(setup.BitRate) + " bit/s, " +
                               CodeName(kInputCodeNames, kInputCodeCount, setup.InputCode));
}

void LinkMonitor::OnIrigSetupLoaded(const MonitorTime& at, const IrigSetup& setup) {
  const bool same = last_irig_setup_ && last_irig_setup_->SourceFormat == setup.SourceFormat &&
                    last_irig_setup_->SourceExternal == setup.SourceExternal &&
                    last_irig_setup_->FlywheelEnabled == setup.FlywheelEnabled &&
                    last_irig_setup_->GeneratorFormat == setup.GeneratorFormat;
  last_irig_setup_ = setup;
  if (same) return;
  Write(at, JournalEvent::kSetupLoaded,
        "IRIG: " + CodeName(kIrigCodeNames, kIrigCodeCount, setup.SourceFormat) +
            (setup.SourceExternal ? ", external" : ", internal") +
            (setup.FlywheelEnabled ? ", flywheel on" : ", flywheel off"));
}

void LinkMonitor::OnChangeRefused(const MonitorTime& at, const std::string& what) {
  Write(at, JournalEvent::kChangeRefused, what);
}

void LinkMonitor::TakeSample(const MonitorTime& at) {
  latest_.utc_ms = at.utc_ms;
  history_.push_back(latest_);
  if (history_.size() > history_samples_) history_.pop_front();
}

std::vector<JournalEntry> LinkMonitor::JournalSince(uint64_t written) const {
  const uint64_t fresh = journal_written_ > written ? journal_written_ - written : 0;
  const size_t count = static_cast<size_t>(std::min<uint64_t>(fresh, journal_.size()));
  return std::vector<JournalEntry>(journal_.end() - static_cast<std::ptrdiff_t>(count),
                                   journal_.end());
}

ValueSummary LinkMonitor::Summarize(double LinkSample::*field, int64_t from_utc_ms) const {
  ValueSummary summary;
  double sum = 0;
  for (const LinkSample& sample : history_) {
    if (sample.utc_ms < from_utc_ms) continue;
    const double value = sample.*field;
    if (summary.samples == 0) summary.minimum = summary.maximum = value;
    summary.minimum = std::min(summary.minimum, value);
    summary.maximum = std::max(summary.maximum, value);
    sum += value;
    ++summary.samples;
  }
  if (summary.samples > 0) summary.mean = sum / static_cast<double>(summary.samples);
  return summary;
}

std::string UtcIsoText(int64_t utc_ms) {
  using namespace std::chrono;
  const sys_time<milliseconds> time{milliseconds(utc_ms)};
  const auto day = floor<days>(time);
  const year_month_day date(day);
  const hh_mm_ss clock(time - day);
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ", int(date.year()),
                unsigned(date.month()), unsigned(date.day()), int(clock.hours().count()),
                int(clock.minutes().count()), int(clock.seconds().count()),
                int(clock.subseconds().count()));
  return text;
}

MonitorTime MonitorNow() {
  const auto utc =
      std::chrono::time_point_cast<std::chrono::milliseconds>(std::chrono::system_clock::now());
  return {utc.time_since_epoch().count(), TimeOfYearSeconds(),
          static_cast<double>(platform::clock().MonotonicNanoseconds()) * 1e-9};
}

MonitorTime Midpoint(const MonitorTime& a, const MonitorTime& b) {
  return {a.utc_ms + (b.utc_ms - a.utc_ms) / 2, (a.pc_time_of_year + b.pc_time_of_year) / 2,
          (a.monotonic_s + b.monotonic_s) / 2};
}

std::string OpenMetricsText(const std::vector<const LinkMonitor*>& monitors) {
  struct Metric {
    const char* name;
    const char* type;
    const char* help;
    double (*value)(const LinkMonitor&);
  };
  static const Metric kMetrics[] = {
      {"zorv_lock_state", "gauge",
       "Lock status code: 0 NOCLK_NOSIG, 1 SEARCH, 2 LOCK, 4 ERROR, 5 DOES NOT EXIST",
       [](const LinkMonitor& m) { return double(m.Latest().lock_status); }},
      {"zorv_locked", "gauge", "1 while the bit synchronizer is locked",
       [](const LinkMonitor& m) { return Locked(m.Latest().lock_status) ? 1.0 : 0.0; }},
      {"zorv_esno_db", "gauge", "Estimated Es/No in dB",
       [](const LinkMonitor& m) { return m.Latest().es_no_db; }},
      {"zorv_signal_volts", "gauge", "Signal level in volts",
       [](const LinkMonitor& m) { return m.Latest().signal_volts; }},
      {"zorv_offset_frequency_hz", "gauge", "Offset frequency in Hz",
       [](const LinkMonitor& m) { return m.Latest().offset_hz; }},
      {"zorv_ber", "gauge", "Bit error rate of the running bit error test, 0 without one",
       [](const LinkMonitor& m) { return m.Latest().ber; }},
      {"zorv_ber_test_running", "gauge", "1 while a bit error test runs",
       [](const LinkMonitor& m) { return m.Latest().ber_testing ? 1.0 : 0.0; }},
      {"zorv_irig_status", "gauge", "IRIG reader status code",
       [](const LinkMonitor& m) { return double(m.Latest().irig_status); }},
      {"zorv_irig_offset_seconds", "gauge", "IRIG time minus the PC clock, seconds of the year",
       [](const LinkMonitor& m) { return m.Latest().irig_offset_s; }},
      {"zorv_irig_drift_seconds_per_minute", "gauge", "Change of the IRIG offset over a minute",
       [](const LinkMonitor& m) { return m.IrigDrift_s_per_min(); }},
      {"zorv_lock_losses", "counter", "Times the lock was lost",
       [](const LinkMonitor& m) { return double(m.LockLosses()); }},
      {"zorv_irig_jumps", "counter", "Times the IRIG time jumped or went back",
       [](const LinkMonitor& m) { return double(m.IrigJumps()); }},
      {"zorv_irig_flywheel_seconds", "counter", "Time the IRIG reader spent in flywheel",
       [](const LinkMonitor& m) { return m.FlywheelSeconds(); }},
      {"zorv_locked_seconds", "counter", "Time the bit synchronizer was locked",
       [](const LinkMonitor& m) { return m.LockedSeconds(); }},
  };
  std::string text;
  for (const Metric& metric : kMetrics) {
    const bool counter = std::string_view(metric.type) == "counter";
    text += std::string("# TYPE ") + metric.name + " " + metric.type + "\n";
    text += std::string("# HELP ") + metric.name + " " + metric.help + "\n";
    for (const LinkMonitor* monitor : monitors) {
      text += std::string(metric.name) + (counter ? "_total" : "") + "{card=\"" +
              std::to_string(monitor->card() + 1) + "\"} " + MetricNumber(metric.value(*monitor)) +
              "\n";
    }
  }
  return text + "# EOF\n";
}

namespace {

// The path itself when free, else with "-2", "-3" ... before the extension.
std::string FreePath(const std::string& path) {
  namespace fs = std::filesystem;
  if (!fs::exists(path)) return path;
  const fs::path wanted(path);
  for (int number = 2;; ++number) {
    fs::path candidate = wanted;
    candidate.replace_filename(wanted.stem().string() + "-" + std::to_string(number) +
                               wanted.extension().string());
    if (!fs::exists(candidate)) return candidate.string();
  }
}

// A field for a CSV row: quoted when it holds a separator, a quote or a line end.
std::string CsvField(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (const char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return quoted + "\"";
}

void WriteLine(std::FILE* file, const std::string& line) {
  std::fputs((line + "\r\n").c_str(), file);
  std::fflush(file);
}

}  // namespace

bool PassRecorder::Start(const std::string& samples_path, const std::string& journal_path,
                         std::string& error) {
  Stop();
  samples_path_ = FreePath(samples_path);
  samples_ = std::fopen(samples_path_.c_str(), "wb");
  if (!samples_) {
    error = "cannot create " + samples_path_;
    return false;
  }
  journal_path_ = FreePath(journal_path);
  journal_ = std::fopen(journal_path_.c_str(), "wb");
  if (!journal_) {
    error = "cannot create " + journal_path_;
    Stop();
    return false;
  }
  WriteLine(samples_,
            "utc,irig_time,card,lock_state,lock,es_no_db,signal_v,offset_hz,bit_count,"
            "error_count,ber,irig_status,irig_offset_s");
  WriteLine(journal_, "utc,irig_time,card,event,text");
  return true;
}

void PassRecorder::Stop() {
  if (samples_) std::fclose(samples_);
  if (journal_) std::fclose(journal_);
  samples_ = journal_ = nullptr;
}

void PassRecorder::WriteSample(int32_t card, const LinkSample& sample) {
  if (!samples_) return;
  WriteLine(samples_, UtcIsoText(sample.utc_ms) + "," + FormatTimeOfYear(sample.irig_time) + "," +
                          std::to_string(card + 1) + "," + std::to_string(sample.lock_status) +
                          "," + CsvField(LockName(sample.lock_status)) + "," +
                          Number(sample.es_no_db, 2) + "," + Number(sample.signal_volts, 3) + "," +
                          Number(sample.offset_hz, 1) + "," + std::to_string(sample.bit_count) +
                          "," + std::to_string(sample.error_count) + "," + Scientific(sample.ber) +
                          "," + std::to_string(sample.irig_status) + "," +
                          Number(sample.irig_offset_s, 6));
}

void PassRecorder::WriteJournal(int32_t card, const JournalEntry& entry) {
  if (!journal_) return;
  WriteLine(journal_, UtcIsoText(entry.utc_ms) + "," + FormatTimeOfYear(entry.irig_time) + "," +
                          std::to_string(card + 1) + "," + CsvField(JournalEventName(entry.event)) +
                          "," + CsvField(entry.text));
}
