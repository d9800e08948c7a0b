#include "tools/zorvctl/ZorvctlSession.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <span>
#include <vector>

#include "app/ZorvCardAccess.h"
#include "app/ZorvSetupFiles.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/interrupts.h"
#include "platform/process.h"
#include "support/KesBorFilesUnit.h"
#include "support/KesBorGenUnit.h"
#include "tools/zorvctl/ZorvctlMonitor.h"
#include "tools/zorvctl/ZorvctlReport.h"

namespace zorvctl {
namespace {

constexpr int64_t kNanosecondsPerSecond = 1'000'000'000;
// A module of the newer firmware answers the lock state only on every fourth poll and hands
// back the status it was given on the other three; the operator program polls four times a
// second, so one reading here is four polls.
constexpr int kLockPollsPerReading = 4;
// How soon a wait notices Ctrl+C.
constexpr int64_t kInterruptPollMilliseconds = 100;

int64_t Now() {
  return platform::clock().MonotonicNanoseconds();
}

// False when Ctrl+C came first.
bool SleepUntil(int64_t deadline) {
  for (;;) {
    if (platform::InterruptRequested()) return false;
    const int64_t now = Now();
    if (now >= deadline) return true;
    const int64_t remaining_ms = (deadline - now + 999'999) / 1'000'000;
    platform::clock().Sleep(
        static_cast<uint32_t>(std::min(remaining_ms, kInterruptPollMilliseconds)));
  }
}

double SecondsSince(int64_t start) {
  return static_cast<double>(Now() - start) / kNanosecondsPerSecond;
}

// A setup file path as the operator program keeps it: full, and in upper case where letter case
// does not tell files apart.
std::string KeptPath(const std::string& given) {
  const bool absolute = std::filesystem::path(given).is_absolute();
  return SetupFilePathAsKept(
      absolute ? given : platform::CurrentDirectory() + platform::PathSeparator() + given);
}

// Why a file was not written.
std::string WriteFailure(const std::string& path) {
  return path + (IsFileWriteProtected(path) ? " is read-only" : " could not be written");
}

std::string NotPolledReason(const CardData& card, int32_t lock_status) {
  if (lock_status == kZorvApiLockDoesNotExist) return "its bit synchronizer does not exist";
  if (!card.input_source_flag) return "its bit synchronizer does not read commands back";
  return "its bit synchronizer has no bit error test option";
}

std::string CardList(const std::vector<int32_t>& numbers) {
  std::string text = numbers.size() == 1 ? "card " : "cards ";
  for (size_t i = 0; i < numbers.size(); ++i) {
    text += (i == 0 ? "" : ", ") + std::to_string(numbers[i]);
  }
  return text;
}

// The bit error test's counts. The module is asked for its error count a moment after its bit
// count, and bits go on counting meanwhile: dividing by the earlier bit count biases a short
// test high. The bits are therefore taken as counted at the moment of the error read, between
// the bit counts read before and after it. The link analysis flags follow. True when every
// read succeeded and Ctrl+C did not cut the reads short.
bool ReadBerCounts(progzorvclass& zorv, int32_t card, BerReading& reading) {
  BitsyncStatusData& status = zorv.cards[card].status;
  const int64_t before_at = Now();
  bool read = zorv.GetLinkAnalysisBitCount(card, status);
  const uint32_t before = status.bit_count;
  const int64_t errors_at = Now();
  read = !platform::InterruptRequested() && zorv.GetLinkAnalysisErrorCount(card, status) && read;
  const int64_t after_at = Now();
  read = !platform::InterruptRequested() && zorv.GetLinkAnalysisBitCount(card, status) && read;
  const uint32_t after = status.bit_count;
  read = !platform::InterruptRequested() && zorv.GetLinkAnalysisOperationalStatus(card, status) &&
         read;
  reading.error_count = status.error_count;
  reading.correlator_locked = status.link_analysis_status[0] == 0;
  reading.bit_count = before;
  if (after_at > before_at && after >= before) {
    const double share =
        static_cast<double>(errors_at - before_at) / static_cast<double>(after_at - before_at);
    reading.bit_count = before + static_cast<uint32_t>(std::llround((after - before) * share));
  }
  return read;
}

}  // namespace

Session::Session(progzorvclass& zorv, CardWait& wait, std::ostream& out, std::ostream& err)
    : zorv_(zorv), wait_(wait), out_(out), err_(err) {
  // Simulated data come from no card, emulated or not.
  const std::optional<std::string> emulate = platform::EnvironmentVariable("ZORV_EMULATE");
  if (!zorv_.simulate && emulate && !emulate->empty()) emulate_value_ = emulate;
  marker_file_ = FileExistsAtPath(kMarkerFileName);
  configuration_path_ = ConfigurationFilePath();
  ReadSetupFile(configuration_path_, configuration_path_, last_setup_file_,
                std::span(zorv_.cards, static_cast<size_t>(zorv_.card_count)));
  for (int32_t card = 0; card < zorv_.card_count; ++card) {
    const WaitingFor waiting(wait_, card + 1);
    // The library's first command to a module selects an input with the strobe, from a copy of
    // the control register that starts at 0 in every process: the card would be switched to
    // the first input. Programming the setup kept for the card first, as the operator program
    // does when it starts, keeps it on its own input (a card nothing was kept for is left
    // alone rather than given the default setup).
    if (zorv_.cards[card].bitsync_count > 0 &&
        HasBitsyncSection(configuration_path_, static_cast<size_t>(card))) {
      ReloadBitsyncSetup(zorv_, card, marker_file_);
    }
    options_read_[card] = zorv_.GetBitsyncOptions(card, zorv_.cards[card].status);
  }
}

int Session::Run(const Arguments& arguments) {
  switch (arguments.command) {
    case Command::kList:
      return List(arguments);
    case Command::kStatus:
      return Status(arguments);
    case Command::kLoad:
      return Load(arguments);
    case Command::kSave:
      return Save(arguments);
    case Command::kBer:
      return Ber(arguments);
    case Command::kIrig:
      return Irig(arguments);
    case Command::kMonitor:
      return RunMonitor(zorv_, wait_, arguments, out_, err_);
    case Command::kCheck:
    case Command::kNone:
      break;
  }
  return Fail("no command for the cards given");
}

int Session::Fail(const std::string& message) {
  err_ << "zorvctl: " << message << "\n";
  return kExitFailed;
}

bool Session::ReadLockStatus(int32_t card, int32_t& status) {
  bool read = true;
  for (int poll = 0; poll < kLockPollsPerReading; ++poll) {
    read = ::ReadLockStatus(zorv_, card, status) && read;
  }
  return read;
}

bool Session::CardIndex(const std::string& command, int32_t number, int32_t& index) {
  if (number < 1 || number > zorv_.card_count) {
    Fail(command + ": there is no card " + std::to_string(number) + "; " +
         CardCountText(zorv_.card_count) + (zorv_.card_count == 1 ? " is" : " are") + " in use");
    return false;
  }
  index = number - 1;
  return true;
}

std::string Session::WriteConfiguration() {
  if (WriteSetupFile(configuration_path_, configuration_path_, last_setup_file_,
                     std::span(zorv_.cards, static_cast<size_t>(zorv_.card_count)))) {
    return "";
  }
  return WriteFailure(configuration_path_);
}

void Session::SayEmulated(const Arguments& arguments) {
  if (emulate_value_ && !arguments.json) out_ << EmulationLine(*emulate_value_) << "\n";
}

int Session::List(const Arguments& arguments) {
  SayEmulated(arguments);
  if (!arguments.json) {
    out_ << ListHeader(zorv_.card_count, zorv_.cards_found, zorv_.simulate, zorv_.no_cards) << "\n";
  }
  for (int32_t card = 0; card < zorv_.card_count; ++card) {
    const WaitingFor waiting(wait_, card + 1);
    const CardData& data = zorv_.cards[card];
    CardFacts facts;
    facts.card = card + 1;
    facts.simulated = zorv_.simulate;
    facts.emulated = emulate_value_.has_value();
    facts.bitsync_count = data.bitsync_count;
    facts.max_input_source = data.max_input_source;
    if (options_read_[card]) {
      facts.option_20_mbit = data.status.option_20_mbit != 0;
      facts.option_ber_test = data.status.option_ber_test != 0;
    }
    int32_t high = 0;
    int32_t low = 0;
    if (!zorv_.simulate && zorv_.GetBitsyncFirmware(card, high, low)) {
      facts.firmware_high = high;
      facts.firmware_low = low;
    }
    out_ << (arguments.json ? ListJson(facts) : ListText(facts)) << "\n";
  }
  return kExitDone;
}

int Session::Status(const Arguments& arguments) {
  int32_t first = 0;
  int32_t last = zorv_.card_count - 1;
  if (arguments.card) {
    if (!CardIndex("status", *arguments.card, first)) return kExitFailed;
    last = first;
  }
  SayEmulated(arguments);
  std::vector<int32_t> incomplete;
  bool said_period_too_short = false;
  const int64_t start = Now();
  for (int32_t reading = 1;; ++reading) {
    const int64_t reading_start = Now();
    for (int32_t card = first; card <= last; ++card) {
      const WaitingFor waiting(wait_, card + 1);
      CardData& data = zorv_.cards[card];
      StatusReading status;
      status.card = card + 1;
      status.reading = reading;
      status.simulated = zorv_.simulate;
      status.emulated = emulate_value_.has_value();
      bool complete = ReadLockStatus(card, status.lock_status);
      complete = ReadIrigTime(zorv_, card, status.irig_time) && complete;
      complete = ReadIrigStatus(zorv_, card, status.irig_status) && complete;
      status.irig_setup = data.irig_setup;
      status.polled = IsPolled(data, status.lock_status);
      if (status.polled) {
        complete = ReadPollGroupA(zorv_, card, platform::InterruptRequested) && complete;
        complete = ReadPollGroupB(zorv_, card, platform::InterruptRequested) && complete;
      }
      if (platform::InterruptRequested()) break;
      status.ber_test = data.bitsync_setup.BerTestingEnabled != 0;
      status.values = data.status;
      status.complete = complete;
      if (!complete &&
          std::find(incomplete.begin(), incomplete.end(), card + 1) == incomplete.end()) {
        incomplete.push_back(card + 1);
      }
      out_ << (arguments.json ? StatusJson(status) + "\n" : StatusText(status)) << std::flush;
    }
    // Ctrl+C is how a watch ends; it only cuts a single reading short.
    if (!arguments.watch_seconds) {
      if (platform::InterruptRequested()) return Fail("status: interrupted");
      break;
    }
    const int64_t period = *arguments.watch_seconds * kNanosecondsPerSecond;
    if (!said_period_too_short && Now() - reading_start > period) {
      err_ << "zorvctl: status: a reading of " << CardCountText(last - first + 1) << " takes "
           << FormatFixed(12, 1, SecondsSince(reading_start)) << " s, longer than --watch "
           << *arguments.watch_seconds << "; the readings follow each other without a pause\n"
           << std::flush;
      said_period_too_short = true;
    }
    if (!SleepUntil(start + reading * period)) break;
  }
  if (!incomplete.empty()) {
    std::sort(incomplete.begin(), incomplete.end());
    return Fail("status: " + CardList(incomplete) + " did not answer every read");
  }
  return kExitDone;
}

int Session::Load(const Arguments& arguments) {
  const std::string path = KeptPath(arguments.file);
  if (!FileExistsAtPath(path)) return Fail("load: there is no setup file " + path);
  const std::span cards(zorv_.cards, static_cast<size_t>(zorv_.card_count));
  // A value the reading would replace gives a setup that nobody wrote: nothing is programmed.
  const std::vector<std::string> problems = CheckSetupFile(path, cards);
  if (!problems.empty()) {
    for (const std::string& problem : problems) Fail("load: " + path + ": " + problem);
    return Fail("load: " + path + " was not loaded; no card was programmed");
  }
  std::string last_named_inside;
  ReadCheckedSetupFile(path, configuration_path_, last_named_inside, cards);
  std::vector<int32_t> programmed;
  std::vector<int32_t> refused;
  for (int32_t card = 0; card < zorv_.card_count; ++card) {
    const WaitingFor waiting(wait_, card + 1);
    bool took = zorv_.LoadIrigSetup(card, zorv_.cards[card].irig_setup);
    took = ReloadBitsyncSetup(zorv_, card, marker_file_) && took;
    (took ? programmed : refused).push_back(card + 1);
    out_ << SetupText(card + 1, zorv_.cards[card]) << "\n";
  }
  // As after a recall: the file is the last setup file and its setups are the current ones.
  last_setup_file_ = path;
  const std::string not_kept = WriteConfiguration();
  if (!refused.empty()) Fail("load: " + CardList(refused) + " did not take the setups");
  if (!not_kept.empty()) {
    Fail("load: " + (programmed.empty() ? "no card" : CardList(programmed)) +
         " took the setups of " + path + ", but they could not be kept: " + not_kept);
  }
  return refused.empty() && not_kept.empty() ? kExitDone : kExitFailed;
}

int Session::Save(const Arguments& arguments) {
  const std::string path = KeptPath(arguments.file);
  if (!IsSetupFilePlace(path)) return Fail("save: " + path + " is not a file; nothing was written");
  if (!WriteSetupFile(path, configuration_path_, last_setup_file_,
                      std::span(zorv_.cards, static_cast<size_t>(zorv_.card_count)))) {
    return Fail("save: " + WriteFailure(path));
  }
  out_ << "saved the setups of " << CardCountText(zorv_.card_count) << " to " << path << "\n";
  last_setup_file_ = path;
  const std::string not_kept = WriteConfiguration();
  if (!not_kept.empty()) {
    return Fail("save: " + path +
                " was written, but it could not be kept as the last setup file: " + not_kept);
  }
  return kExitDone;
}

int Session::Ber(const Arguments& arguments) {
  int32_t card = 0;
  if (!CardIndex("ber", *arguments.card, card)) return kExitFailed;
  const WaitingFor waiting(wait_, card + 1);
  const std::string name = "card " + std::to_string(card + 1);
  CardData& data = zorv_.cards[card];
  int32_t lock_status = 0;
  ReadLockStatus(card, lock_status);
  if (!IsPolled(data, lock_status)) {
    return Fail("ber: " + name +
                " cannot run a bit error test: " + NotPolledReason(data, lock_status));
  }

  const BitsyncSetup kept = data.bitsync_setup;
  BitsyncSetup& setup = data.bitsync_setup;
  setup.BerTestingEnabled = 1;
  setup.ExtBerMode = arguments.external_pattern ? 1 : 0;
  if (arguments.pattern_15_bit) setup.Pattern15Bit = *arguments.pattern_15_bit ? 1 : 0;
  setup.KnownErrorMode = arguments.forced_errors ? 1 : 0;
  BerReading summary;
  summary.card = card + 1;
  summary.summary = true;
  summary.simulated = zorv_.simulate;
  summary.pattern_15_bit = setup.Pattern15Bit != 0;
  summary.external_pattern = setup.ExtBerMode != 0;
  summary.forced_errors = setup.KnownErrorMode != 0;

  bool started = ReloadBitsyncSetup(zorv_, card, marker_file_);
  const int64_t start = Now();
  for (int32_t second = 1; started && second <= *arguments.seconds; ++second) {
    if (!SleepUntil(start + second * kNanosecondsPerSecond)) break;
    BerReading reading;
    reading.card = card + 1;
    reading.simulated = zorv_.simulate;
    // The counts first, as near the second as they can be; only they and the lock state are
    // read, so that a reading fits in its second.
    reading.elapsed_seconds = SecondsSince(start);
    reading.complete = ReadBerCounts(zorv_, card, reading);
    reading.complete = ReadLockStatus(card, reading.lock_status) && reading.complete;
    if (platform::InterruptRequested()) break;
    summary.lock_lost = summary.lock_lost || !IsLocked(reading.lock_status);
    if (reading.bit_count > 0 && !summary.lock_lost) {
      reading.bit_error_rate =
          static_cast<double>(reading.error_count) / static_cast<double>(reading.bit_count);
    }
    out_ << (arguments.json ? BerJson(reading) : BerText(reading)) << "\n" << std::flush;
    summary.complete = summary.complete && reading.complete;
    summary.elapsed_seconds = reading.elapsed_seconds;
    summary.lock_status = reading.lock_status;
    summary.bit_count = reading.bit_count;
    summary.error_count = reading.error_count;
    summary.bit_error_rate = reading.bit_error_rate;
    summary.correlator_locked = reading.correlator_locked;
  }
  summary.interrupted = platform::InterruptRequested();
  if (started) out_ << (arguments.json ? BerJson(summary) : BerText(summary)) << "\n";

  // Off again as the card window leaves the test: no test and no forced errors.
  data.bitsync_setup = kept;
  data.bitsync_setup.BerTestingEnabled = 0;
  data.bitsync_setup.KnownErrorMode = 0;
  if (!ReloadBitsyncSetup(zorv_, card, marker_file_)) {
    return Fail("ber: " + name + " did not take its setup with the test off");
  }
  if (!started) return Fail("ber: " + name + " did not take its setup with the test on");
  if (summary.interrupted) return Fail("ber: interrupted; the test is off again");
  if (!summary.complete) return Fail("ber: " + name + " did not answer every read");
  if (summary.lock_lost) {
    return Fail("ber: " + name + " lost its lock during the test; no bit error rate");
  }
  if (!summary.bit_error_rate) return Fail("ber: " + name + " counted no bit; no bit error rate");
  if (arguments.max_ber && *summary.bit_error_rate > *arguments.max_ber) {
    return Fail("ber: " + name + " bit error rate " +
                FormatExponent(5, 4, *summary.bit_error_rate) + " is above --max-ber " +
                FormatExponent(5, 4, *arguments.max_ber));
  }
  return kExitDone;
}

int Session::Irig(const Arguments& arguments) {
  int32_t card = 0;
  if (!CardIndex("irig", *arguments.card, card)) return kExitFailed;
  const WaitingFor waiting(wait_, card + 1);
  const std::string name = "card " + std::to_string(card + 1);
  IrigSetup& setup = zorv_.cards[card].irig_setup;
  if (arguments.irig_code) setup.SourceFormat = *arguments.irig_code;
  if (arguments.irig_external) setup.SourceExternal = *arguments.irig_external ? 1 : 0;
  if (arguments.flywheel) setup.FlywheelEnabled = *arguments.flywheel ? 1 : 0;
  if (!zorv_.LoadIrigSetup(card, setup))
    return Fail("irig: " + name + " did not take the IRIG setup");
  IrigReading reading;
  reading.card = card + 1;
  reading.simulated = zorv_.simulate;
  reading.setup = setup;
  const bool time_read = ReadIrigTime(zorv_, card, reading.time);
  const bool status_read = ReadIrigStatus(zorv_, card, reading.status);
  out_ << IrigText(reading) << "\n";
  const std::string not_kept = WriteConfiguration();
  if (!not_kept.empty()) {
    Fail("irig: " + name + " took the IRIG setup, but it could not be kept: " + not_kept);
  }
  if (!time_read) Fail("irig: " + name + " gave no IRIG time");
  if (!status_read) Fail("irig: " + name + " gave no IRIG status");
  return not_kept.empty() && time_read && status_read ? kExitDone : kExitFailed;
}

int CheckSetupFileCommand(const Arguments& arguments, std::ostream& out, std::ostream& err) {
  const std::string path = KeptPath(arguments.file);
  if (!FileExistsAtPath(path)) {
    err << "zorvctl: check: there is no setup file " << path << "\n";
    return kExitFailed;
  }
  // Sections that name no model or input code are judged against the setups a card starts
  // with.
  const std::vector<CardData> defaults(kMaxProgramCards);
  const std::vector<std::string> problems = CheckSetupFile(path, defaults);
  for (const std::string& problem : problems) {
    err << "zorvctl: check: " << path << ": " << problem << "\n";
  }
  if (!problems.empty()) return kExitFailed;
  out << path << ": every value can be taken as written\n";
  return kExitDone;
}

}  // namespace zorvctl
