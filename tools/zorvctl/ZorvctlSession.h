#pragma once
// The commands, run over one bound library: the setups are those of ZORVCFG.CFG in the start
// directory, read as the operator program reads them at its start, and each card's options are
// read as its card window reads them when it opens.

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "app/Progzorvunit.h"
#include "tools/zorvctl/ZorvctlArguments.h"
#include "tools/zorvctl/ZorvctlWaits.h"

namespace zorvctl {

class Session {
 public:
  // The card being read or programmed is published in `wait`.
  Session(progzorvclass& zorv, CardWait& wait, std::ostream& out, std::ostream& err);

  // The command's exit code; a failure has written its one line to the error stream.
  int Run(const Arguments& arguments);

 private:
  int List(const Arguments& arguments);
  int Status(const Arguments& arguments);
  int Load(const Arguments& arguments);
  int Save(const Arguments& arguments);
  int Ber(const Arguments& arguments);
  int Irig(const Arguments& arguments);

  bool ReadLockStatus(int32_t card, int32_t& status);
  // The card's index when the 1-based number names a card in use.
  bool CardIndex(const std::string& command, int32_t number, int32_t& index);
  // Empty when the configuration file was written, else why not.
  std::string WriteConfiguration();
  int Fail(const std::string& message);
  // list and status: the line that says the cards are emulated, before them.
  void SayEmulated(const Arguments& arguments);

  progzorvclass& zorv_;
  CardWait& wait_;
  std::ostream& out_;
  std::ostream& err_;
  bool marker_file_ = false;
  std::string configuration_path_;
  std::string last_setup_file_;
  bool options_read_[kMaxProgramCards] = {};
  // ZORV_EMULATE when the cards in use are the emulator's, else nothing.
  std::optional<std::string> emulate_value_;
};

// check: the problems of a setup file, one line each on the error stream; no card is touched.
int CheckSetupFileCommand(const Arguments& arguments, std::ostream& out, std::ostream& err);

}  // namespace zorvctl
