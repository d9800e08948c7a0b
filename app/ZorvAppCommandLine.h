#pragma once
// ZorvApp's own command line: ZorvApp [--emulate N|SCENARIO] [--open CARD]... [--metrics
// ADDRESS:PORT] [--grab FILE] [--help] [--version]. Qt's
// options (-platform and the like) are taken out by Qt before it is read.

#include <optional>
#include <string>
#include <vector>

struct ZorvAppCommandLine {
  // Set as ZORV_EMULATE before the library is loaded.
  std::optional<std::string> emulate;
  // Where the link metrics are served: "ADDRESS:PORT", or "PORT" on 127.0.0.1.
  std::optional<std::string> metrics;
  // Card windows opened at the start (1 to 4), as the Setup menu opens them.
  std::vector<int> open_cards;
  // Pictures of the main window and of each open card window ("-card1" and so on before the
  // extension) are saved here a few seconds after the start (for the guide and service staff).
  std::optional<std::string> grab;
  bool help = false;
  bool version = false;
};

// False with one line saying what is wrong.
bool ParseZorvAppCommandLine(const std::vector<std::string>& words, ZorvAppCommandLine& line,
                             std::string& error);
// Whether the words ask only for the help or the version, which need no display.
bool AsksForHelpOrVersion(const std::vector<std::string>& words);
std::string ZorvAppUsage();
