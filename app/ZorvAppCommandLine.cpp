#include "app/ZorvAppCommandLine.h"

#include <algorithm>

#include "app/Zorvglobunit.h"

namespace {

constexpr const char* kEmulate = "--emulate";
constexpr const char* kGrab = "--grab";
constexpr const char* kOpen = "--open";
constexpr const char* kMetrics = "--metrics";

// "--name VALUE" or "--name=VALUE".
bool IsOption(const std::string& word, const std::string& name) {
  return word == name || word.rfind(name + "=", 0) == 0;
}

// The option's value, from the word itself or the next one; `what` says what it takes.
bool TakeValue(const std::vector<std::string>& words, size_t& i, const char* what,
               std::optional<std::string>& value, std::string& error) {
  const std::string& word = words[i];
  const std::string name = word.substr(0, word.find('='));
  if (value) {
    error = name + " is given twice";
    return false;
  }
  std::string text;
  if (word == name) {
    if (i + 1 < words.size()) text = words[++i];
  } else {
    text = word.substr(name.size() + 1);
  }
  if (text.empty()) {
    error = name + " takes " + what;
    return false;
  }
  value = text;
  return true;
}

}  // namespace

bool ParseZorvAppCommandLine(const std::vector<std::string>& words, ZorvAppCommandLine& line,
                             std::string& error) {
  line = ZorvAppCommandLine{};
  for (size_t i = 0; i < words.size(); ++i) {
    const std::string& word = words[i];
    if (word == "--help" || word == "-h") {
      line.help = true;
    } else if (word == "--version") {
      line.version = true;
    } else if (IsOption(word, kEmulate)) {
      if (!TakeValue(words, i, "a card count or a scenario file", line.emulate, error)) {
        return false;
      }
    } else if (IsOption(word, kOpen)) {
      std::optional<std::string> card;
      if (!TakeValue(words, i, "a card number from 1 to 4", card, error)) return false;
      if (card->size() != 1 || (*card)[0] < '1' || (*card)[0] > '4') {
        error = "--open takes a card number from 1 to 4, not \"" + *card + "\"";
        return false;
      }
      line.open_cards.push_back((*card)[0] - '0');
    } else if (IsOption(word, kMetrics)) {
      if (!TakeValue(words, i, "ADDRESS:PORT or PORT", line.metrics, error)) return false;
    } else if (IsOption(word, kGrab)) {
      if (!TakeValue(words, i, "a file name", line.grab, error)) return false;
    } else {
      error = "unknown argument \"" + word + "\"";
      return false;
    }
  }
  return true;
}

bool AsksForHelpOrVersion(const std::vector<std::string>& words) {
  return std::any_of(words.begin(), words.end(), [](const std::string& word) {
    return word == "--help" || word == "-h" || word == "--version";
  });
}

std::string ZorvAppUsage() {
  return std::string(
             "Usage: ZorvApp [--emulate N|SCENARIO] [--open CARD]... [--metrics ADDRESS:PORT]\n"
             "               [--grab FILE]\n") +
         "The operator program of the Zorv telemetry receiver cards, version " + kZorvAppVersion +
         ".\n"
         "  --emulate N|SCENARIO   N emulated cards, or the cards a scenario file describes\n"
         "                         (sets ZORV_EMULATE before the library is loaded; the\n"
         "                         caption then says EMULATED)\n"
         "  --open CARD            open the window of card CARD (1 to 4) at the start, as the\n"
         "                         Setup menu does; may be given more than once\n"
         "  --metrics ADDRESS:PORT serve the cards' link metrics (OpenMetrics text) read-only at\n"
         "                         http://ADDRESS:PORT/metrics; PORT alone means 127.0.0.1\n"
         "  --grab FILE            three seconds after the start, save a picture of the main\n"
         "                         window to FILE (PNG), and of each open card window to FILE\n"
         "                         with -card1 (and so on) before its extension\n"
         "  --help                 this text\n"
         "  --version              the program's version\n"
         "Setups are kept in ZORVCFG.CFG and the log in ZorvApp.Log, both in the current\n"
         "directory. Without cards the program shows simulated data (caption SIMULATION).\n";
}
