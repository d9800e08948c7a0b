#include "tools/zorvctl/ZorvctlSession.h"

#include <algorithm>
#include <filesystem>
#include <span>
#include <vector>

#include "app/ZorvCardAccess.h"
#include "app/ZorvSetupFiles.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/interrupts.h"
#include "support/KesBorFilesUnit.h"
#include "tools/zorvctl/ZorvctlReport.h"

namespace zorvctl {
namespace {

constexpr int64_t kNanosecondsPerSecond = 1'000'000'000;
constexpr int32_t kDoesNotExist = 5;
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

std::string NotPolledReason(const CardData& card, int32_t lock_status) {
  if (lock_status == kDoesNotExist) return "its bit synchronizer does not exist";
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

}  // namespace

Session::Session(progzorvclass& zorv, std::ostream& out, std::ostream& err)
    : zorv_(zorv), out_(out), err_(err) {
  marker_file_ = FileExistsAtPath(kMarkerFileName);
  configuration_path_ = ConfigurationFilePath();
  ReadSetupFile(configuration_path_, configuration_path_, last_setup_file_,
                std::span(zorv_.cards, static_cast<size_t>(zorv_.card_count)));
  for (int32_t card = 0; card < zorv_.card_count; ++card) {
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
    case Command::kNone:
      break;
  }
  return Fail("no command given");
}

int Session::Fail(const std::string& message) {
  err_ << "zorvctl: " << message << "\n";
  return kExitFailed;
}

bool Session::ReadLockStatus(int32_t card, int32_t& status) {
  // The library refuses a lock read of a card without a bit synchronizer instead of naming it.
  if (!zorv_.simulate && zorv_.cards[card].bitsync_count == 0) {
    status = kDoesNotExist;
    return true;
  }
  bool read = true;
  for (int poll = 0; poll < kLockPollsPerReading; ++poll) {
    read = zorv_.GetBitsyncStatus(card, status) && read;
  }
  return read;
}

bool Session::CardIndex(const std::string& command, int32_t number, int32_t& index) {
  if (number < 1 || number > zorv_.card_count) {
    Fail(command + ": there is no card " + std::to_string(number) + "; " +
         std::to_string(zorv_.card_count) + (zorv_.card_count == 1 ? " card is" : " cards are") +
         " in use");
    return false;
  }
  index = number - 1;
  return true;
}

bool Session::WriteConfiguration() {
  return WriteSetupFile(configuration_path_, configuration_path_, last_setup_file_,
                        std::span(zorv_.cards, static_cast<size_t>(zorv_.card_count)));
}

int Session::List(const Arguments& arguments) {
  if (!arguments.json) {
    out_ << (zorv_.simulate ? "simulate mode: the library found no card; " +
                                  std::to_string(zorv_.card_count) + " simulated cards\n"
                            : std::to_string(zorv_.card_count) + " cards\n");
  }
  for (int32_t card = 0; card < zorv_.card_count; ++card) {
    const CardData& data = zorv_.cards[card];
    CardFacts facts;
    facts.card = card + 1;
    facts.simulated = zorv_.simulate;
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
  std::vector<int32_t> incomplete;
  const int64_t start = Now();
  for (int32_t reading = 1;; ++reading) {
    for (int32_t card = first; card <= last; ++card) {
      CardData& data = zorv_.cards[card];
      StatusReading status;
      status.card = card + 1;
      status.reading = reading;
      status.simulated = zorv_.simulate;
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
    if (!SleepUntil(start + reading * *arguments.watch_seconds * kNanosecondsPerSecond)) break;
  }
  if (!incomplete.empty()) {
    std::sort(incomplete.begin(), incomplete.end());
    return Fail("status: " + CardList(incomplete) + " did not answer every read");
  }
  return kExitDone;
}

int Session::Load(const Arguments& arguments) {
  const std::string path = KeptPath(arguments.file);
  std::string last_named_inside;
  if (!ReadSetupFile(path, configuration_path_, last_named_inside,
                     std::span(zorv_.cards, static_cast<size_t>(zorv_.card_count)))) {
    return Fail("load: there is no setup file " + path);
  }
  std::vector<int32_t> refused;
  for (int32_t card = 0; card < zorv_.card_count; ++card) {
    bool programmed = zorv_.LoadIrigSetup(card, zorv_.cards[card].irig_setup);
    programmed = ReloadBitsyncSetup(zorv_, card, marker_file_) && programmed;
    if (!programmed) refused.push_back(card + 1);
    out_ << SetupText(card + 1, zorv_.cards[card]) << "\n";
  }
  // As after a recall: the file is the last setup file and its setups are the current ones.
  last_setup_file_ = path;
  const bool kept = WriteConfiguration();
  if (!refused.empty()) return Fail("load: " + CardList(refused) + " did not take the setups");
  if (!kept) return Fail("load: the setups could not be kept in " + configuration_path_);
  return kExitDone;
}

int Session::Save(const Arguments& arguments) {
  const std::string path = KeptPath(arguments.file);
  if (!WriteSetupFile(path, configuration_path_, last_setup_file_,
                      std::span(zorv_.cards, static_cast<size_t>(zorv_.card_count)))) {
    return Fail("save: " + path + " could not be written");
  }
  last_setup_file_ = path;
  if (!WriteConfiguration()) {
    return Fail("save: the last setup file could not be kept in " + configuration_path_);
  }
  out_ << "saved the setups of " << zorv_.card_count << " cards to " << path << "\n";
  return kExitDone;
}

int Session::Ber(const Arguments& arguments) {
  int32_t card = 0;
  if (!CardIndex("ber", *arguments.card, card)) return kExitFailed;
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
    reading.complete = ReadLinkAnalysis(zorv_, card, platform::InterruptRequested);
    reading.complete = ReadLockStatus(card, reading.lock_status) && reading.complete;
    if (platform::InterruptRequested()) break;
    reading.values = data.status;
    out_ << (arguments.json ? BerJson(reading) : BerText(reading)) << "\n" << std::flush;
    summary.complete = summary.complete && reading.complete;
    summary.elapsed_seconds = reading.elapsed_seconds;
    summary.lock_status = reading.lock_status;
    summary.values = reading.values;
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
  return kExitDone;
}

int Session::Irig(const Arguments& arguments) {
  int32_t card = 0;
  if (!CardIndex("irig", *arguments.card, card)) return kExitFailed;
  IrigSetup& setup = zorv_.cards[card].irig_setup;
  if (arguments.irig_code) setup.SourceFormat = *arguments.irig_code;
  if (arguments.irig_external) setup.SourceExternal = *arguments.irig_external ? 1 : 0;
  if (arguments.flywheel) setup.FlywheelEnabled = *arguments.flywheel ? 1 : 0;
  if (!zorv_.LoadIrigSetup(card, setup)) {
    return Fail("irig: card " + std::to_string(card + 1) + " did not take the IRIG setup");
  }
  IrigReading reading;
  reading.card = card + 1;
  reading.simulated = zorv_.simulate;
  reading.setup = setup;
  const bool time_read = ReadIrigTime(zorv_, card, reading.time);
  const bool status_read = ReadIrigStatus(zorv_, card, reading.status);
  out_ << IrigText(reading) << "\n";
  if (!WriteConfiguration()) {
    return Fail("irig: the setup could not be kept in " + configuration_path_);
  }
  const std::string name = "card " + std::to_string(card + 1);
  if (!time_read) return Fail("irig: " + name + " gave no IRIG time");
  if (!status_read) return Fail("irig: " + name + " gave no IRIG status");
  return kExitDone;
}

}  // namespace zorvctl
