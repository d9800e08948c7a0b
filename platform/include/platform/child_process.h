#pragma once
// Running another program to its end, as scripts run the command-line tools.

#include <string>
#include <vector>

namespace platform {

struct ProgramRun {
  // False when the program could not be started at all.
  bool started = false;
  int exit_code = -1;
  std::string output;  // standard output
  std::string errors;  // standard error
};

// Runs the program file with the arguments in the current directory and environment, waits
// for it to end and collects both of its output streams.
ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& arguments);

}  // namespace platform
