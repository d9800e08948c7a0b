#pragma once
// zorvctl's command line: one command with its options, and the help texts that describe them.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zorvctl {

enum class Command { kNone, kList, kStatus, kLoad, kSave, kCheck, kBer, kIrig, kMonitor };

// Exit codes.
inline constexpr int kExitDone = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

// The longest --watch period, bit error test and monitoring, in seconds: a day.
inline constexpr int32_t kMaxSeconds = 86400;

// Where the monitor serves its metrics.
struct MetricsAddress {
  std::string host = "127.0.0.1";
  uint16_t port = 0;
};

struct Arguments {
  Command command = Command::kNone;
  bool help = false;
  // ZORV_EMULATE for the library: a card count or a scenario file.
  std::optional<std::string> emulate;
  // Emulated cards as they power up, keeping nothing (ZORV_EMULATE_FRESH=1).
  bool emulate_fresh = false;
  // The operator program's simulated data instead of the cards, or of the library finding none.
  bool simulate = false;
  bool json = false;
  // Counted from 1, as operators and the log count cards.
  std::optional<int32_t> card;
  std::optional<int32_t> watch_seconds;
  // load, save and check.
  std::string file;
  // ber.
  std::optional<int32_t> seconds;
  std::optional<bool> pattern_15_bit;
  bool external_pattern = false;
  bool forced_errors = false;
  // A higher bit error rate fails the test.
  std::optional<double> max_ber;
  // irig: SourceFormat (0 IRIG B, 1 IRIG A, 2 IRIG G), source and flywheel.
  std::optional<int32_t> irig_code;
  std::optional<bool> irig_external;
  std::optional<bool> flywheel;
  // monitor (and --seconds above): the pass record, its journal and the metrics' address.
  std::string csv_file;
  std::string journal_file;
  std::optional<MetricsAddress> metrics;
};

// "list", "status", ...; empty for kNone.
std::string CommandName(Command command);

// Reads the words after the program name. False with `error` (one line, no program name) on
// wrong usage; --help anywhere makes the rest unchecked.
bool ParseArguments(const std::vector<std::string>& words, Arguments& arguments,
                    std::string& error);

// The help of one command, or the program's overview for kNone.
std::string HelpText(Command command);

}  // namespace zorvctl
