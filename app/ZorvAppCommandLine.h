#pragma once
// ZorvApp's own command line: ZorvApp [--emulate N|SCENARIO] [--grab FILE] [--help]
// [--version]. Qt's
// options (-platform and the like) are taken out by Qt before it is read.

#include <optional>
#include <string>
#include <vector>

struct ZorvAppCommandLine {
  // Set as ZORV_EMULATE before the library is loaded.
  std::optional<std::string> emulate;
  // A picture of the main window is saved here a second after the start (for the guide and
  // for service staff).
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
