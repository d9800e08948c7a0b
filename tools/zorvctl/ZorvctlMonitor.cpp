#include "tools/zorvctl/ZorvctlMonitor.h"

#include <algorithm>
#include <deque>
#include <filesystem>
#include <limits>
#include <optional>
#include <vector>

#include "app/CardWorker.h"
#include "app/LinkMonitor.h"
#include "app/ZorvCardAccess.h"
#include "platform/clock.h"
#include "platform/interrupts.h"
#include "support/Ctimerclass.h"
#include "support/KesBorGenUnit.h"
#include "tools/zorvctl/ZorvctlJson.h"
#include "tools/zorvctl/ZorvctlMetricsServer.h"
#include "tools/zorvctl/ZorvctlReport.h"

namespace zorvctl {
namespace {

constexpr int64_t kMillisecond = 1'000'000;
constexpr int64_t kSecond = 1000 * kMillisecond;
// The card window's strip reads the lock state four times a second; its timer starts a polling
// group and an IRIG read once a second.
constexpr int64_t kLockReadPeriod = 250 * kMillisecond;
constexpr int64_t kPollPeriod = kSecond;
// How soon a wait notices Ctrl+C.
constexpr int64_t kLongestSleep = 100 * kMillisecond;
constexpr int kLockPollsPerReading = 4;
constexpr int64_t kNever = std::numeric_limits<int64_t>::max();

int64_t Now() {
  return platform::clock().MonotonicNanoseconds();
}

// The next time on the grid of `period` from `due` that is after `now`.
int64_t NextOnGrid(int64_t due, int64_t period, int64_t now) {
  return now < due ? due : due + ((now - due) / period + 1) * period;
}

// What a read made on one of the card's threads gave, taken in by the loop.
struct Reading {
  MonitorTime at;
  bool answered = true;
};

// One watched card: its link monitor, its threads (as a card window's) and where its reads
// stand.
struct WatchedCard {
  WatchedCard(int32_t card_index, const CardData& data)
      : index(card_index),
        monitor(card_index),
        values(data.status),
        ber_testing(data.bitsync_setup.BerTestingEnabled != 0) {}

  int32_t index;
  LinkMonitor monitor;
  pollbitsynczorvstatusclass threads;
  // Handed to every lock read: a module of the newer firmware gives it back on three polls of
  // four.
  int32_t lock_status = 0;
  bool lock_known = false;
  int64_t lock_due = 0;
  int64_t irig_due = 0;
  int64_t group_due = 0;
  int32_t group = 0;
  // The calls of the polling group under way, read into `values` one at a time.
  std::vector<StatusRead> reads;
  size_t next_read = 0;
  BitsyncStatusData values;
  // This round's reads, written by the card's threads while the loop waits for them.
  std::optional<Reading> lock_read;
  std::optional<Reading> irig_read;
  double irig_seconds = 0;
  int32_t irig_status = 0;
  std::optional<Reading> group_read;
  bool ber_testing;
  bool every_read_answered = true;
  uint64_t journal_shown = 0;
  // When the first slow values came: the summary's Es/No starts there, not at the zeros before.
  std::optional<int64_t> values_since_utc_ms;
};

std::string OneDecimal(double value) {
  return FormatFixed(12, 1, value);
}

std::string JournalText(const JournalEntry& entry, int32_t card) {
  return UtcIsoText(entry.utc_ms) + " card " + std::to_string(card + 1) + " " +
         JournalEventName(entry.event) + ": " + entry.text;
}

std::string JournalJson(const JournalEntry& entry, int32_t card, bool simulated) {
  return JsonObject()
      .Text("kind", "journal")
      .Integer("card", card + 1)
      .Boolean("simulated", simulated)
      .Text("utc", UtcIsoText(entry.utc_ms))
      .Integer("utc_ms", entry.utc_ms)
      .Text("irig_time", FormatTimeOfYear(entry.irig_time))
      .Text("event", JournalEventName(entry.event))
      .Text("text", entry.text)
      .str();
}

// What the summary says of a card.
struct CardSummary {
  int32_t card = 1;
  bool simulated = false;
  double seconds = 0;
  std::optional<double> locked_percent;
  uint64_t lock_losses = 0;
  double longest_loss_s = 0;
  std::optional<ValueSummary> es_no;
  std::optional<double> ber;
};

CardSummary Summarize(const WatchedCard& card, bool simulated) {
  const LinkMonitor& monitor = card.monitor;
  CardSummary summary;
  summary.card = card.index + 1;
  summary.simulated = simulated;
  summary.seconds = monitor.MonitoredSeconds();
  if (monitor.MonitoredSeconds() > 0) {
    summary.locked_percent = 100 * monitor.LockedSeconds() / monitor.MonitoredSeconds();
  }
  summary.lock_losses = monitor.LockLosses();
  summary.longest_loss_s = monitor.LongestLoss_s();
  if (card.values_since_utc_ms) {
    const ValueSummary es_no = monitor.Summarize(&LinkSample::es_no_db, *card.values_since_utc_ms);
    if (es_no.samples > 0) summary.es_no = es_no;
  }
  if (monitor.Latest().ber_testing) summary.ber = monitor.Latest().ber;
  return summary;
}

std::string SummaryText(const CardSummary& summary) {
  std::string text = "card " + std::to_string(summary.card) +
                     " summary: " + OneDecimal(summary.seconds) + " s watched, locked ";
  text += summary.locked_percent ? OneDecimal(*summary.locked_percent) + " %" : "n/a";
  text += ", " + std::to_string(summary.lock_losses) +
          (summary.lock_losses == 1 ? " loss" : " losses") + " of lock, the longest " +
          OneDecimal(summary.longest_loss_s) + " s; Es/No ";
  text += summary.es_no ? "lowest " + OneDecimal(summary.es_no->minimum) + ", mean " +
                              OneDecimal(summary.es_no->mean) + ", highest " +
                              OneDecimal(summary.es_no->maximum) + " dB"
                        : "n/a";
  text += "; BER " + (summary.ber ? FormatExponent(5, 4, *summary.ber) : "n/a (no bit error test)");
  return summary.simulated ? text + " (simulated)" : text;
}

std::string SummaryJson(const CardSummary& summary) {
  JsonObject json;
  json.Text("kind", "summary")
      .Integer("card", summary.card)
      .Boolean("simulated", summary.simulated)
      .Number("seconds", RoundedToDecimals(summary.seconds, 3));
  summary.locked_percent
      ? json.Number("locked_percent", RoundedToDecimals(*summary.locked_percent, 3))
      : json.Null("locked_percent");
  json.Integer("lock_losses", static_cast<int64_t>(summary.lock_losses))
      .Number("longest_loss_seconds", RoundedToDecimals(summary.longest_loss_s, 3));
  if (summary.es_no) {
    json.Number("es_no_min_db", summary.es_no->minimum)
        .Number("es_no_mean_db", RoundedToDecimals(summary.es_no->mean, 2))
        .Number("es_no_max_db", summary.es_no->maximum);
  } else {
    json.Null("es_no_min_db").Null("es_no_mean_db").Null("es_no_max_db");
  }
  summary.ber ? json.Number("ber", RoundedToSignificantDigits(*summary.ber, 5)) : json.Null("ber");
  return json.str();
}

class MonitorRun {
 public:
  MonitorRun(progzorvclass& zorv, CardWait& wait, const Arguments& arguments, std::ostream& out,
             std::ostream& err)
      : zorv_(zorv), wait_(wait), arguments_(arguments), out_(out), err_(err) {}

  int Run();

 private:
  int Fail(const std::string& message) {
    err_ << "zorvctl: monitor: " << message << "\n";
    return kExitFailed;
  }
  // One line for people, or one JSON object.
  void Say(const std::string& text, JsonObject json) {
    out_ << (arguments_.json ? json.str() : text) << "\n" << std::flush;
  }
  bool StartOutputs();
  // The reads due on every card, each card's on its own threads, so that a slow card or a
  // long polling group never holds up another card; false when nothing was due.
  bool ReadRound(int64_t now);
  void StartGroups(int64_t now);
  void PostLockRead(WatchedCard& card);
  void PostIrigRead(WatchedCard& card);
  // The next call of the card's polling group under way.
  void PostGroupRead(WatchedCard& card);
  // Feeds the monitors once every card's threads are idle.
  void TakeReadings();
  void FinishGroup(WatchedCard& card);
  void TakeSamples(int64_t now);
  void ShowJournal();
  int64_t NextWake() const;

  progzorvclass& zorv_;
  CardWait& wait_;
  const Arguments& arguments_;
  std::ostream& out_;
  std::ostream& err_;
  // Not moved once made: each holds its threads.
  std::deque<WatchedCard> cards_;
  int64_t sample_due_ = 0;
  PassRecorder recorder_;
  MetricsServer metrics_;
};

int MonitorRun::Run() {
  int32_t first = 0;
  int32_t last = zorv_.card_count - 1;
  if (arguments_.card) {
    if (*arguments_.card > zorv_.card_count) {
      return Fail("there is no card " + std::to_string(*arguments_.card) + "; " +
                  CardCountText(zorv_.card_count) + (zorv_.card_count == 1 ? " is" : " are") +
                  " in use");
    }
    first = last = *arguments_.card - 1;
  }
  for (int32_t card = first; card <= last; ++card) cards_.emplace_back(card, zorv_.cards[card]);
  if (!StartOutputs()) return kExitFailed;

  const int64_t start = Now();
  const int64_t end = arguments_.seconds ? start + *arguments_.seconds * kSecond : kNever;
  for (WatchedCard& card : cards_) card.lock_due = card.irig_due = card.group_due = start;
  sample_due_ = start + kSecond;
  for (;;) {
    const int64_t now = Now();
    // The last second's row before the end, so that S seconds give S rows.
    if (now >= sample_due_) TakeSamples(now);
    if (platform::InterruptRequested() || now >= end) break;
    const bool read = ReadRound(now);
    ShowJournal();
    if (read) continue;
    const int64_t wait = std::clamp(std::min(NextWake(), end) - Now(), kMillisecond, kLongestSleep);
    platform::clock().Sleep(static_cast<uint32_t>(wait / kMillisecond));
  }
  ShowJournal();
  std::vector<int32_t> silent;
  for (const WatchedCard& card : cards_) {
    const CardSummary summary = Summarize(card, zorv_.simulate);
    out_ << (arguments_.json ? SummaryJson(summary) : SummaryText(summary)) << "\n";
    if (!card.every_read_answered) silent.push_back(card.index + 1);
  }
  out_ << std::flush;
  recorder_.Stop();
  metrics_.Stop();
  for (const int32_t card : silent) {
    Fail("card " + std::to_string(card) + " did not answer every read");
  }
  return silent.empty() ? kExitDone : kExitFailed;
}

bool MonitorRun::StartOutputs() {
  std::string error;
  // The server first: a port that cannot be served must not leave a pass record behind.
  if (arguments_.metrics) {
    metrics_.Publish(OpenMetricsText({}));
    if (!metrics_.Start(*arguments_.metrics, error)) {
      Fail(error + "; nothing was watched");
      return false;
    }
    const std::string& host = arguments_.metrics->host;
    const std::string url = "http://" +
                            (host.find(':') == std::string::npos ? host : "[" + host + "]") + ":" +
                            std::to_string(arguments_.metrics->port) + "/metrics";
    Say("serving the metrics at " + url, JsonObject().Text("kind", "metrics").Text("url", url));
  }
  if (!arguments_.csv_file.empty()) {
    const std::string journal = arguments_.journal_file.empty()
                                    ? JournalFileFor(arguments_.csv_file)
                                    : arguments_.journal_file;
    if (!recorder_.Start(arguments_.csv_file, journal, error)) {
      Fail(error + "; nothing was watched");
      return false;
    }
    Say("recording to " + recorder_.SamplesPath() + " and " + recorder_.JournalPath(),
        JsonObject()
            .Text("kind", "recording")
            .Text("csv", recorder_.SamplesPath())
            .Text("journal", recorder_.JournalPath()));
  }
  return true;
}

bool MonitorRun::ReadRound(int64_t now) {
  // Which cards start a group is decided on the last round's lock states, before this round's
  // threads write new ones.
  StartGroups(now);
  bool posted = false;
  for (WatchedCard& card : cards_) {
    // The lock state first: a polling group's call never delays it by more than one call.
    if (now >= card.lock_due) {
      PostLockRead(card);
      posted = true;
    }
    if (now >= card.irig_due) {
      PostIrigRead(card);
      posted = true;
    }
    if (!card.reads.empty()) {
      PostGroupRead(card);
      posted = true;
    }
  }
  if (!posted) return false;
  // A card that does not answer keeps the library inside a call for up to minutes; Ctrl+C is
  // then the watcher's to handle, as in the other commands.
  for (WatchedCard& card : cards_) {
    while (!card.threads.WaitIdle(std::chrono::milliseconds(kLongestSleep / kMillisecond))) {
    }
  }
  TakeReadings();
  return true;
}

void MonitorRun::StartGroups(int64_t now) {
  for (WatchedCard& card : cards_) {
    if (!card.reads.empty() || now < card.group_due || !card.lock_known) continue;
    card.group_due = NextOnGrid(card.group_due, kPollPeriod, now);
    // As the card window: only a card it polls, and one group at a time.
    if (!IsPolled(zorv_.cards[card.index], card.lock_status)) continue;
    card.reads = PollGroupReads(card.group, card.ber_testing);
    card.next_read = 0;
  }
}

void MonitorRun::PostLockRead(WatchedCard& card) {
  card.threads.Bitsync().Post(CardLane::kStrip, [this, &card] {
    const WaitingFor waiting(wait_, card.index + 1);
    // A module of the newer firmware answers only every fourth poll and gives back the status
    // it was handed on the others: the first reading polls it round once, so that it starts
    // from the card's state and not from the 0 handed to it.
    bool read = true;
    for (int poll = card.lock_known ? kLockPollsPerReading - 1 : 0; poll < kLockPollsPerReading;
         ++poll) {
      read = ReadLockStatus(zorv_, card.index, card.lock_status) && read;
    }
    card.lock_read = Reading{MonitorNow(), read};
  });
}

void MonitorRun::PostIrigRead(WatchedCard& card) {
  card.threads.Irig().Post(CardLane::kStrip, [this, &card] {
    const WaitingFor waiting(wait_, card.index + 1);
    // Without a signal to decode (and no flywheel) the reader gives no time; that is the
    // link's news, not a card that does not answer, and the IRIG status says it.
    ReadIrigTime(zorv_, card.index, card.irig_seconds);
    const bool read = ReadIrigStatus(zorv_, card.index, card.irig_status);
    card.irig_read = Reading{MonitorNow(), read};
  });
}

void MonitorRun::PostGroupRead(WatchedCard& card) {
  const StatusRead read = card.reads[card.next_read];
  card.threads.Bitsync().Post(CardLane::kPoll, [this, &card, read] {
    const WaitingFor waiting(wait_, card.index + 1);
    const bool answered = (zorv_.*read)(card.index, card.values);
    card.group_read = Reading{MonitorNow(), answered};
  });
}

void MonitorRun::TakeReadings() {
  const int64_t now = Now();
  for (WatchedCard& card : cards_) {
    if (card.lock_read) {
      card.lock_due = NextOnGrid(card.lock_due, kLockReadPeriod, now);
      if (card.lock_read->answered) {
        card.lock_known = true;
        card.monitor.OnLockStatus(card.lock_read->at, card.lock_status);
      } else {
        card.every_read_answered = false;
      }
    }
    if (card.irig_read) {
      card.irig_due = NextOnGrid(card.irig_due, kPollPeriod, now);
      if (!card.irig_read->answered) card.every_read_answered = false;
      card.monitor.OnIrig(card.irig_read->at, card.irig_seconds, card.irig_status);
    }
    if (card.group_read) {
      if (!card.group_read->answered) card.every_read_answered = false;
      if (++card.next_read == card.reads.size()) FinishGroup(card);
    }
    card.lock_read.reset();
    card.irig_read.reset();
    card.group_read.reset();
  }
}

void MonitorRun::FinishGroup(WatchedCard& card) {
  if (card.ber_testing) UpdateBitErrorRate(card.values);
  const MonitorTime at = card.group_read->at;
  card.monitor.OnPolledValues(at, card.values, card.ber_testing);
  if (!card.values_since_utc_ms) card.values_since_utc_ms = at.utc_ms;
  card.group = card.group == 0 ? 1 : 0;
  card.reads.clear();
}

void MonitorRun::TakeSamples(int64_t now) {
  const MonitorTime at = MonitorNow();
  std::vector<const LinkMonitor*> monitors;
  for (WatchedCard& card : cards_) {
    card.monitor.TakeSample(at);
    recorder_.WriteSample(card.index, card.monitor.Latest());
    monitors.push_back(&card.monitor);
  }
  metrics_.Publish(OpenMetricsText(monitors));
  sample_due_ = NextOnGrid(sample_due_, kSecond, now);
}

void MonitorRun::ShowJournal() {
  for (WatchedCard& card : cards_) {
    for (const JournalEntry& entry : card.monitor.JournalSince(card.journal_shown)) {
      out_ << (arguments_.json ? JournalJson(entry, card.index, zorv_.simulate)
                               : JournalText(entry, card.index))
           << "\n";
      recorder_.WriteJournal(card.index, entry);
    }
    card.journal_shown = card.monitor.JournalWritten();
  }
  out_ << std::flush;
}

int64_t MonitorRun::NextWake() const {
  int64_t wake = sample_due_;
  for (const WatchedCard& card : cards_) {
    wake = std::min({wake, card.lock_due, card.irig_due});
    if (card.reads.empty()) wake = std::min(wake, card.group_due);
  }
  return wake;
}

}  // namespace

std::string JournalFileFor(const std::string& csv_file) {
  std::filesystem::path path(csv_file);
  const std::string extension = path.has_extension() ? path.extension().string() : ".csv";
  path.replace_filename(path.stem().string() + "-journal" + extension);
  return path.string();
}

int RunMonitor(progzorvclass& zorv, CardWait& wait, const Arguments& arguments, std::ostream& out,
               std::ostream& err) {
  MonitorRun run(zorv, wait, arguments, out, err);
  return run.Run();
}

}  // namespace zorvctl
