#include "tools/zorvctl/ZorvctlArguments.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <fstream>
#include <functional>
#include <iterator>
#include <string_view>

#include "app/Progzorvunit.h"
#include "app/ZorvSetupFiles.h"
#include "emulator/Scenario.h"
#include "platform/files.h"
#include "platform/message_text.h"

namespace zorvctl {
namespace {

struct CommandWord {
  Command command;
  const char* name;
};

constexpr CommandWord kCommandNames[] = {
    {Command::kList, "list"}, {Command::kStatus, "status"},   {Command::kLoad, "load"},
    {Command::kSave, "save"}, {Command::kCheck, "check"},     {Command::kBer, "ber"},
    {Command::kIrig, "irig"}, {Command::kMonitor, "monitor"},
};

std::optional<Command> CommandNamed(const std::string& word) {
  for (const CommandWord& entry : kCommandNames) {
    if (word == entry.name) return entry.command;
  }
  return std::nullopt;
}

bool ParseWhole(const std::string& text, int32_t minimum, int32_t maximum, int32_t& value) {
  int32_t parsed = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, parsed);
  if (error != std::errc() || stop != end || parsed < minimum || parsed > maximum) return false;
  value = parsed;
  return true;
}

// One option of a command: its name, whether a value follows, and what it does with the value
// (the result is the error text, empty when taken).
struct Option {
  const char* name;
  bool takes_value;
  std::function<std::string(Arguments&, const std::string&)> take;
};

std::string TakeCard(Arguments& arguments, const std::string& value) {
  int32_t card = 0;
  if (!ParseWhole(value, 1, kMaxProgramCards, card)) {
    return "--card takes a card number from 1 to " + std::to_string(kMaxProgramCards);
  }
  arguments.card = card;
  return "";
}

std::string TakeSeconds(const char* name, std::optional<int32_t>& target,
                        const std::string& value) {
  int32_t seconds = 0;
  if (!ParseWhole(value, 1, kMaxSeconds, seconds)) {
    return std::string(name) + " takes whole seconds from 1 to " + std::to_string(kMaxSeconds);
  }
  target = seconds;
  return "";
}

std::string TakeMaxBer(Arguments& arguments, const std::string& value) {
  double rate = 0.0;
  const char* end = value.data() + value.size();
  const auto [stop, error] = std::from_chars(value.data(), end, rate);
  if (error != std::errc() || stop != end || !std::isfinite(rate) || rate < 0 || rate > 1) {
    return "--max-ber takes a bit error rate from 0 to 1, such as 1e-6";
  }
  arguments.max_ber = rate;
  return "";
}

// "PORT", ":PORT" or "ADDRESS:PORT"; an IPv6 address in brackets.
std::string TakeMetrics(Arguments& arguments, const std::string& value) {
  const char* const usage = "--metrics takes ADDRESS:PORT (such as 127.0.0.1:9100) or a PORT";
  MetricsAddress address;
  const size_t colon = value.rfind(':');
  std::string host = colon == std::string::npos ? "" : value.substr(0, colon);
  const std::string port = colon == std::string::npos ? value : value.substr(colon + 1);
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
    host = host.substr(1, host.size() - 2);
  } else if (host.find(':') != std::string::npos) {
    return usage;  // which colon would end the address?
  }
  if (host.find_first_of(" []") != std::string::npos) return usage;
  if (!host.empty()) address.host = host;
  int32_t number = 0;
  if (!ParseWhole(port, 1, 65535, number)) return usage;
  address.port = static_cast<uint16_t>(number);
  arguments.metrics = address;
  return "";
}

std::string TakeJson(Arguments& arguments, const std::string&) {
  arguments.json = true;
  return "";
}

std::vector<Option> OptionsOf(Command command) {
  const Option card{"--card", true, TakeCard};
  const Option json{"--json", false, TakeJson};
  switch (command) {
    case Command::kList:
      return {json};
    case Command::kStatus:
      return {card, json, {"--watch", true, [](Arguments& a, const std::string& v) {
                             return TakeSeconds("--watch", a.watch_seconds, v);
                           }}};
    case Command::kBer:
      return {card,
              json,
              {"--seconds", true,
               [](Arguments& a, const std::string& v) {
                 return TakeSeconds("--seconds", a.seconds, v);
               }},
              {"--pattern", true,
               [](Arguments& a, const std::string& v) -> std::string {
                 if (v != "11" && v != "15") return "--pattern takes 11 or 15";
                 a.pattern_15_bit = v == "15";
                 return "";
               }},
              {"--external", false,
               [](Arguments& a, const std::string&) {
                 a.external_pattern = true;
                 return std::string();
               }},
              {"--forced-errors", false,
               [](Arguments& a, const std::string&) {
                 a.forced_errors = true;
                 return std::string();
               }},
              {"--max-ber", true, TakeMaxBer}};
    case Command::kIrig:
      return {card,
              {"--code", true,
               [](Arguments& a, const std::string& v) -> std::string {
                 // The letter of the code's name ("IRIG B" is B), in either case.
                 const auto named = std::find_if(
                     std::begin(kIrigCodeNames), std::end(kIrigCodeNames), [&](const char* name) {
                       return v.size() == 1 && std::toupper(static_cast<unsigned char>(v[0])) ==
                                                   std::string_view(name).back();
                     });
                 if (named == std::end(kIrigCodeNames)) return "--code takes A, B or G";
                 a.irig_code = static_cast<int32_t>(named - std::begin(kIrigCodeNames));
                 return "";
               }},
              {"--internal", false,
               [](Arguments& a, const std::string&) -> std::string {
                 if (a.irig_external == true) return "--internal and --external exclude each other";
                 a.irig_external = false;
                 return "";
               }},
              {"--external", false,
               [](Arguments& a, const std::string&) -> std::string {
                 if (a.irig_external == false)
                   return "--internal and --external exclude each other";
                 a.irig_external = true;
                 return "";
               }},
              {"--flywheel", true, [](Arguments& a, const std::string& v) -> std::string {
                 if (v != "on" && v != "off") return "--flywheel takes on or off";
                 a.flywheel = v == "on";
                 return "";
               }}};
    case Command::kMonitor:
      return {card,
              json,
              {"--seconds", true,
               [](Arguments& a, const std::string& v) {
                 return TakeSeconds("--seconds", a.seconds, v);
               }},
              {"--csv", true,
               [](Arguments& a, const std::string& v) -> std::string {
                 if (v.empty()) return "--csv takes a file name";
                 a.csv_file = v;
                 return "";
               }},
              {"--journal", true,
               [](Arguments& a, const std::string& v) -> std::string {
                 if (v.empty()) return "--journal takes a file name";
                 a.journal_file = v;
                 return "";
               }},
              {"--metrics", true, TakeMetrics}};
    case Command::kLoad:
    case Command::kSave:
    case Command::kCheck:
    case Command::kNone:
      break;
  }
  return {};
}

bool TakesFile(Command command) {
  return command == Command::kLoad || command == Command::kSave || command == Command::kCheck;
}

// Decided before the library loads, so that a mistyped value is not taken for a file of
// cards that are not there.
std::string EmulateProblem(const std::string& value) {
  int32_t count = 0;
  if (ParseWhole(value, 0, emulator::kMaxEmulatedCards, count)) return "";
  const bool readable =
      platform::RegularFileSize(value) && std::ifstream(platform::NativePath(value)).good();
  if (readable) return "";
  return "--emulate takes a card count 0 to " + std::to_string(emulator::kMaxEmulatedCards) +
         " or a readable scenario file; " + value + " is neither";
}

// Checks what a command cannot do without.
std::string MissingOf(const Arguments& arguments) {
  const std::string command = CommandName(arguments.command);
  if (TakesFile(arguments.command) && arguments.file.empty()) return command + " needs a FILE";
  if (arguments.command == Command::kBer || arguments.command == Command::kIrig) {
    if (!arguments.card) return command + " needs --card N";
  }
  if (arguments.command == Command::kBer && !arguments.seconds) {
    return "ber needs --seconds S";
  }
  if (!arguments.journal_file.empty() && arguments.csv_file.empty()) {
    return "--journal needs --csv FILE";
  }
  if (arguments.emulate_fresh && !arguments.emulate) return "--emulate-fresh needs --emulate";
  if (arguments.emulate) return EmulateProblem(*arguments.emulate);
  return "";
}

// "--name=value" and "--name value" both give a value.
struct Word {
  std::string name;
  std::optional<std::string> attached_value;
};

Word Split(const std::string& word) {
  const size_t equals = word.find('=');
  if (word.rfind("--", 0) != 0 || equals == std::string::npos) return {word, std::nullopt};
  return {word.substr(0, equals), word.substr(equals + 1)};
}

// The options every command takes, anywhere on the line; false when the word is none of them.
bool TakeProgramOption(const Word& word, const std::function<std::optional<std::string>()>& value,
                       Arguments& arguments, std::string& error) {
  const auto flag = [&](bool& target) {
    if (target) error = word.name + " is given twice";
    if (word.attached_value) error = word.name + " takes no value";
    target = true;
    return true;
  };
  if (word.name == "--emulate-fresh") return flag(arguments.emulate_fresh);
  if (word.name == "--simulate") return flag(arguments.simulate);
  if (word.name != "--emulate") return false;
  if (arguments.emulate) {
    error = "--emulate is given twice";
    return true;
  }
  const auto emulate = value();
  if (!emulate || emulate->empty()) {
    error = "--emulate takes a card count or a scenario file";
  } else {
    arguments.emulate = *emulate;
  }
  return true;
}

bool Fail(std::string& error, const std::string& text) {
  error = text;
  return false;
}

bool ParseWords(const std::vector<std::string>& words, Arguments& arguments, std::string& error) {
  if (std::find(words.begin(), words.end(), "--help") != words.end() ||
      std::find(words.begin(), words.end(), "-h") != words.end()) {
    arguments.help = true;
    // The first word naming a command chooses the help shown.
    for (const std::string& word : words) {
      if (const auto command = CommandNamed(word)) {
        arguments.command = *command;
        break;
      }
    }
    return true;
  }
  std::vector<std::string> seen;
  for (size_t i = 0; i < words.size(); ++i) {
    const Word word = Split(words[i]);
    auto value = [&]() -> std::optional<std::string> {
      if (word.attached_value) return word.attached_value;
      if (i + 1 < words.size()) return words[++i];
      return std::nullopt;
    };
    if (TakeProgramOption(word, value, arguments, error)) {
      if (!error.empty()) return false;
      continue;
    }
    if (arguments.command == Command::kNone) {
      const auto command = CommandNamed(word.name);
      if (!command) {
        return Fail(error, word.name.rfind("-", 0) == 0 ? "unknown option " + word.name
                                                        : "unknown command " + word.name);
      }
      arguments.command = *command;
      continue;
    }
    const std::string command = CommandName(arguments.command);
    if (word.name.rfind("-", 0) != 0 || word.name == "-") {
      if (!TakesFile(arguments.command) || !arguments.file.empty()) {
        return Fail(error, command + " takes no argument " + word.name);
      }
      arguments.file = word.name;
      continue;
    }
    const std::vector<Option> options = OptionsOf(arguments.command);
    const auto option = std::find_if(options.begin(), options.end(),
                                     [&](const Option& o) { return word.name == o.name; });
    if (option == options.end()) return Fail(error, command + " has no option " + word.name);
    if (std::find(seen.begin(), seen.end(), word.name) != seen.end()) {
      return Fail(error, word.name + " is given twice");
    }
    seen.push_back(word.name);
    std::string text;
    if (option->takes_value) {
      const auto given = value();
      if (!given) return Fail(error, word.name + " needs a value");
      text = *given;
    } else if (word.attached_value) {
      return Fail(error, word.name + " takes no value");
    }
    if (std::string problem = option->take(arguments, text); !problem.empty()) {
      return Fail(error, problem);
    }
  }
  if (arguments.command == Command::kNone) return Fail(error, "no command given");
  if (std::string missing = MissingOf(arguments); !missing.empty()) return Fail(error, missing);
  return true;
}

}  // namespace

std::string CommandName(Command command) {
  for (const CommandWord& entry : kCommandNames) {
    if (entry.command == command) return entry.name;
  }
  return "";
}

bool ParseArguments(const std::vector<std::string>& words, Arguments& arguments,
                    std::string& error) {
  arguments = Arguments{};
  error.clear();
  const bool parsed = ParseWords(words, arguments, error);
  // The error quotes the words, which may hold line breaks.
  error = platform::ControlCharactersEscaped(error);
  return parsed;
}

std::string HelpText(Command command) {
  const std::string usage = "Usage: zorvctl [--emulate N|SCENARIO [--emulate-fresh]] [--simulate] ";
  const std::string cards =
      "Cards are counted from 1, as the log's \"card N\" counts them (card 1 is the first\n"
      "card the library found).\n";
  switch (command) {
    case Command::kList:
      return usage +
             "list [--json]\n\n"
             "Lists the cards in use (at most " +
             std::to_string(kMaxProgramCards) +
             " of those the library found). For each card: its\n"
             "bit synchronizers, the 20 Mbit and bit error test options, the firmware version\n"
             "and the highest input source.\n\n"
             "  --json  one JSON object per card\n\n" +
             cards;
    case Command::kStatus:
      return usage +
             "status [--card N] [--watch SECONDS] [--json]\n\n"
             "Reads every card in use, or card N: lock state, IRIG time and status, Es/No, signal\n"
             "voltage, offset frequency, bit and error counts, bit error rate and built-in test\n"
             "bytes. It programs nothing. The slow values are read only from a card that\n"
             "reads back commands and offers the built-in test, as the card window does; the\n"
             "error count and the bit error rate only while a bit error test runs (else n/a).\n"
             "A reading takes about 2.2 s per card (the lock state is polled four times and\n"
             "each slow value is an exchange with the module), so a shorter --watch period\n"
             "cannot be kept: the readings then follow each other, and zorvctl says so once.\n\n"
             "  --card N           only card N\n"
             "  --watch SECONDS    read again every SECONDS (1 to 86400) until Ctrl+C\n"
             "  --json             one JSON object per card and reading\n\n" +
             cards;
    case Command::kLoad:
      return usage +
             "load FILE\n\n"
             "Checks the whole setup file as 'zorvctl check' does; when any value cannot be taken\n"
             "as written it names each one and programs nothing. Otherwise it reads the file as\n"
             "ZorvApp's Recall does and programs every card in use with its IRIG setup, its bit\n"
             "synchronizer setup and its quick react mode. The file becomes the last setup file,\n"
             "and the setups are kept in ZORVCFG.CFG in the current directory, where ZorvApp and\n"
             "the next zorvctl find them. No bit error test runs after a load, whatever the file\n"
             "says.\n";
    case Command::kSave:
      return usage +
             "save FILE\n\n"
             "Writes the current setups of the cards in use (those kept in ZORVCFG.CFG in the\n"
             "current directory) to a setup file, keeping an old file as FILE.BAK, and makes it\n"
             "the last setup file. The sections of cards not in use today that the old file\n"
             "holds are kept. It reads nothing from the cards.\n";
    case Command::kCheck:
      return "Usage: zorvctl check FILE\n\n"
             "Checks a setup file without touching the cards: one line on standard error for\n"
             "each value that cannot be taken as written (naming section, key and value) and for\n"
             "a file that is no text file of lines at all, then exit status 1. Names are taken\n"
             "in any letter case, and input sources also in the plain form zorvctl shows\n"
             "(SE_INPUT 2). Bit rates and loop bandwidths are checked against the section's\n"
             "model, or the default setup's where the section names none.\n";
    case Command::kBer:
      return usage +
             "ber --card N --seconds S [--pattern 11|15] [--external]\n"
             "           [--forced-errors] [--max-ber RATE] [--json]\n\n"
             "Runs a bit error test on card N for S seconds: programs the card's setup with the\n"
             "test on, prints one line a second (elapsed time, bits, errors, bit error rate, lock\n"
             "state), then a summary, and programs the setup again with the test off. Ctrl+C ends\n"
             "the test early; the test is still turned off.\n"
             "The module's error count is read a moment after its bit count; the bits shown are\n"
             "those counted when the errors were read, estimated from the bit counts read before\n"
             "and after, so that a short test is not biased high. The rate is not measured (n/a,\n"
             "JSON null) when no bit was counted or the lock was lost during the test; the test\n"
             "then fails.\n\n"
             "  --card N          the card\n"
             "  --seconds S       how long, 1 to 86400\n"
             "  --pattern 11|15   the pseudo-random pattern (default: the card's setup)\n"
             "  --external        the pattern comes in on the input instead of from the module\n"
             "  --forced-errors   the module adds known errors, to check that errors count\n"
             "  --max-ber RATE    a higher bit error rate fails the test (exit status 1)\n"
             "  --json            one JSON object per second, then one for the summary\n\n" +
             cards;
    case Command::kIrig:
      return usage +
             "irig --card N [--code A|B|G] [--internal|--external]\n"
             "           [--flywheel on|off]\n\n"
             "Programs card N's IRIG reader with its setup changed as given, keeps the setup in\n"
             "ZORVCFG.CFG, and shows the reader: code, source, flywheel, time and status.\n\n"
             "  --card N            the card\n"
             "  --code A|B|G        the IRIG code\n"
             "  --internal          run from the internal clock (seeded from the PC clock)\n"
             "  --external          decode the external time code signal\n"
             "  --flywheel on|off   keep time through a lost external signal\n\n" +
             cards;
    case Command::kMonitor:
      return usage +
             "monitor [--card N] [--csv FILE [--journal FILE]]\n"
             "           [--metrics ADDRESS:PORT] [--seconds S] [--json]\n\n"
             "Watches every card in use, or card N, as the card window does, and programs\n"
             "nothing: the lock state four times a second, one polling group of slow values a\n"
             "second (A and B in turn: Es/No, signal voltage, offset frequency, bit counts;\n"
             "built-in test, programmed bit rate), the IRIG time and status once a second.\n"
             "Each slow value is an exchange of about 0.3 s with the module; the lock state is\n"
             "read between two of them, on emulated cards every 0.35 s on average and 0.6 s at\n"
             "most with one or two cards, every 0.45 s and 0.9 s at most with four. A module of\n"
             "the newer firmware answers the lock state on every fourth read only, so there a\n"
             "change shows up to four reads later. The slow values share what time is left: a\n"
             "group about every second with one card, every 2 s with two, every 6 s with four.\n"
             "It prints a line for each event of the link as it happens (lock acquired or lost,\n"
             "IRIG status changes and time jumps) and, at the end (Ctrl+C, or after S seconds),\n"
             "a summary per card: the time locked, the losses of lock and the longest (from\n"
             "loss to lock), Es/No lowest, mean and highest, and the bit error rate while a bit\n"
             "error test runs.\n\n"
             "  --card N                only card N\n"
             "  --csv FILE              record one row per card a second to FILE, and the events\n"
             "                          beside it (pass.csv: pass-journal.csv); a name that is\n"
             "                          taken gets -2, -3 ... so that no record is overwritten\n"
             "  --journal FILE          the events' record under this name instead\n"
             "  --metrics ADDRESS:PORT  serve the latest values in the OpenMetrics text format\n"
             "                          at http://ADDRESS:PORT/metrics, read-only; a PORT alone\n"
             "                          serves on 127.0.0.1, this machine only\n"
             "  --seconds S             end after S seconds (1 to 86400)\n"
             "  --json                  a JSON object per event, and per card at the end\n\n" +
             cards;
    case Command::kNone:
      break;
  }
  return usage +
         "COMMAND [OPTIONS]\n\n"
         "The operator program's powers without a desktop: reads and programs the Zorv cards\n"
         "through ZORVDLL with the same code as ZorvApp, and keeps the setups in ZORVCFG.CFG in\n"
         "the current directory as ZorvApp does. It writes its log to zorvctl.Log there.\n\n"
         "Commands:\n"
         "  list     the cards, their options, firmware and input sources\n"
         "  status   lock state, IRIG time and status, signal values, counts, built-in test\n"
         "  load     check a setup file, then program every card with it\n"
         "  save     write the current setups to a setup file\n"
         "  check    check a setup file without touching the cards\n"
         "  ber      run a bit error test on one card\n"
         "  irig     program and show a card's IRIG reader\n"
         "  monitor  watch the link: lock journal, pass record, metrics, summary\n\n"
         "  --emulate N|SCENARIO   N emulated cards (0 to 16), or the cards a scenario file\n"
         "                         describes (sets ZORV_EMULATE before the library is loaded).\n"
         "                         Emulated cards keep their state from one run to the next,\n"
         "                         as powered cards do.\n"
         "  --emulate-fresh        emulated cards as they power up, and nothing of this run\n"
         "                         kept for the next (sets ZORV_EMULATE_FRESH=1)\n"
         "  --simulate             the operator program's simulated data instead of the cards;\n"
         "                         without it zorvctl fails when the library finds no card\n"
         "  --help                 this text; 'zorvctl COMMAND --help' for a command\n\n" +
         cards +
         "zorvctl does not run while ZorvApp or another zorvctl runs on this machine, nor\n"
         "ZorvApp while zorvctl runs: they take the same single-instance name, for every user\n"
         "and every program.\n"
         "A first Ctrl+C stops at the next read; while a card keeps zorvctl waiting it says\n"
         "for how long at most, and a second Ctrl+C ends zorvctl at once.\n"
         "Exit status: 0 done, 1 an operation failed, 2 wrong usage.\n";
}

}  // namespace zorvctl
