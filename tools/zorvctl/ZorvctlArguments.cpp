#include "tools/zorvctl/ZorvctlArguments.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <functional>
#include <iterator>
#include <string_view>

#include "app/Progzorvunit.h"
#include "app/ZorvSetupFiles.h"

namespace zorvctl {
namespace {

struct CommandWord {
  Command command;
  const char* name;
};

constexpr CommandWord kCommandNames[] = {
    {Command::kList, "list"}, {Command::kStatus, "status"}, {Command::kLoad, "load"},
    {Command::kSave, "save"}, {Command::kBer, "ber"},       {Command::kIrig, "irig"},
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
              {"--forced-errors", false, [](Arguments& a, const std::string&) {
                 a.forced_errors = true;
                 return std::string();
               }}};
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
    case Command::kLoad:
    case Command::kSave:
    case Command::kNone:
      break;
  }
  return {};
}

bool TakesFile(Command command) {
  return command == Command::kLoad || command == Command::kSave;
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

bool Fail(std::string& error, const std::string& text) {
  error = text;
  return false;
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
    if (word.name == "--emulate") {
      if (arguments.emulate) return Fail(error, "--emulate is given twice");
      const auto emulate = value();
      if (!emulate || emulate->empty()) {
        return Fail(error, "--emulate takes a card count or a scenario file");
      }
      arguments.emulate = *emulate;
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

std::string HelpText(Command command) {
  const std::string usage = "Usage: zorvctl [--emulate N|SCENARIO] ";
  const std::string cards =
      "Cards are counted from 1, as the log's \"card N\" counts them (card 1 is the first\n"
      "card the library found).\n";
  switch (command) {
    case Command::kList:
      return usage +
             "list [--json]\n\n"
             "Lists the cards in use (at most 4) or says that the program runs in simulate mode\n"
             "because the library found none. For each card: its bit synchronizers, the 20 Mbit\n"
             "and bit error test options, the firmware version and the highest input source.\n\n"
             "  --json  one JSON object per card\n\n" +
             cards;
    case Command::kStatus:
      return usage +
             "status [--card N] [--watch SECONDS] [--json]\n\n"
             "Reads every card in use, or card N: lock state, IRIG time and status, Es/No, signal\n"
             "voltage, offset frequency, bit and error counts, bit error rate and built-in test\n"
             "bytes. It programs nothing. The slow values are read only from a card that\n"
             "reads back commands and offers the built-in test, as the card window does.\n\n"
             "  --card N           only card N\n"
             "  --watch SECONDS    read again every SECONDS (1 to 86400) until Ctrl+C\n"
             "  --json             one JSON object per card and reading\n\n" +
             cards;
    case Command::kLoad:
      return usage +
             "load FILE\n\n"
             "Reads a setup file as ZorvApp's Recall does and programs every card in use with its\n"
             "IRIG setup, its bit synchronizer setup and its quick react mode. The file becomes\n"
             "the last setup file, and the setups are kept in ZORVCFG.CFG in the current\n"
             "directory, where ZorvApp and the next zorvctl find them. No bit error test runs\n"
             "after a load, whatever the file says.\n";
    case Command::kSave:
      return usage +
             "save FILE\n\n"
             "Writes the current setups of the cards in use (those kept in ZORVCFG.CFG in the\n"
             "current directory) to a setup file, keeping an old file as FILE.BAK, and makes it\n"
             "the last setup file. It reads nothing from the cards.\n";
    case Command::kBer:
      return usage +
             "ber --card N --seconds S [--pattern 11|15] [--external]\n"
             "           [--forced-errors] [--json]\n\n"
             "Runs a bit error test on card N for S seconds: programs the card's setup with the\n"
             "test on, prints one line a second (elapsed time, bits, errors, bit error rate, lock\n"
             "state), then a summary, and programs the setup again with the test off. Ctrl+C ends\n"
             "the test early; the test is still turned off.\n\n"
             "  --card N          the card\n"
             "  --seconds S       how long, 1 to 86400\n"
             "  --pattern 11|15   the pseudo-random pattern (default: the card's setup)\n"
             "  --external        the pattern comes in on the input instead of from the module\n"
             "  --forced-errors   the module adds known errors, to check that errors count\n"
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
         "  load     read a setup file and program every card\n"
         "  save     write the current setups to a setup file\n"
         "  ber      run a bit error test on one card\n"
         "  irig     program and show a card's IRIG reader\n\n"
         "  --emulate N|SCENARIO   N emulated cards, or the cards a scenario file describes\n"
         "                         (sets ZORV_EMULATE before the library is loaded)\n"
         "  --help                 this text; 'zorvctl COMMAND --help' for a command\n\n" +
         cards +
         "zorvctl does not run while ZorvApp runs, nor ZorvApp while zorvctl runs (they take\n"
         "the same single-instance name; on Windows across programs, elsewhere only within one\n"
         "process).\n"
         "Exit status: 0 done, 1 an operation failed, 2 wrong usage.\n";
}

}  // namespace zorvctl
