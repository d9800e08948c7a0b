#include "tools/zorvctl/Zorvctl.h"

#include <exception>
#include <optional>

#include "app/ZorvSingleInstance.h"
#include "emulator/CardStateFile.h"
#include "platform/instance_guard.h"
#include "platform/interrupts.h"
#include "platform/process.h"
#include "support/KesBorGenUnit.h"
#include "support/keserrorlog.h"
#include "tools/zorvctl/ZorvctlArguments.h"
#include "tools/zorvctl/ZorvctlSession.h"

namespace zorvctl {
namespace {

// Released with the operator program.
constexpr const char* kVersion = "3.32";

int UsageError(const Arguments& arguments, const std::string& error, std::ostream& err) {
  const std::string help = arguments.command == Command::kNone
                               ? "zorvctl --help"
                               : "zorvctl " + CommandName(arguments.command) + " --help";
  err << "zorvctl: " << error << " (see '" << help << "')\n";
  return kExitUsage;
}

// The session over a bound library with cards, or simulated ones when asked for.
int RunSession(progzorvclass& zorv, const Arguments& arguments, CardWait& wait, std::ostream& out,
               std::ostream& err) {
  if (!zorv.DllLoaded()) {
    err << "zorvctl: the card library ZORVDLL could not be loaded (see zorvctl.Log)\n";
    return kExitFailed;
  }
  // Simulated data shown as if they were the cards' would pass every check of a script.
  if (zorv.no_cards && !arguments.simulate) {
    err << "zorvctl: the library found no card (its log ZORVDLL.Log says why); --simulate "
           "works on the operator program's simulated cards\n";
    return kExitFailed;
  }
  // As the operator program's switch to simulated data.
  if (arguments.simulate) zorv.simulate = true;
  Session session(zorv, wait, out, err);
  return session.Run(arguments);
}

int RunCommand(const std::vector<std::string>& words, const Arguments& arguments,
               const ZorvctlParts& parts, std::ostream& out, std::ostream& err) {
  // The cards must not be driven by two programs at once.
  const platform::InstanceGuard single_instance(kSingleInstanceName);
  if (single_instance.AlreadyRunning()) {
    if (single_instance.Failure().empty()) {
      err << "zorvctl: ZorvApp or another zorvctl is running; zorvctl does not drive the cards "
             "beside it\n";
    } else {
      err << "zorvctl: cannot tell whether ZorvApp or another zorvctl is running ("
          << single_instance.Failure() << "); zorvctl leaves the cards alone\n";
    }
    return kExitFailed;
  }
  platform::ClearInterrupt();
  platform::CatchInterrupts();
  // Nobody is there to click a message box away, in the library or here.
  platform::SetEnvironmentVariable("ZORV_HEADLESS", "1");
  if (arguments.emulate) platform::SetEnvironmentVariable("ZORV_EMULATE", *arguments.emulate);
  if (arguments.emulate_fresh) platform::SetEnvironmentVariable(emulator::kFreshVariable, "1");

  OpenErrorLog(false, kVersion, "zorvctl", "", "zorvctl");
  std::string command_line = "zorvctl";
  for (const std::string& word : words) command_line += " " + word;
  LogInfo(command_line, 0, false);
  int exit_code = kExitFailed;
  {
    CardWait wait;
    const InterruptWatcher watcher(wait, out, err, parts.end_process);
    progzorvclass zorv(parts.dll_locations);
    exit_code = RunSession(zorv, arguments, wait, out, err);
  }
  CloseErrorLog(false);
  return exit_code;
}

}  // namespace

int RunZorvctl(const std::vector<std::string>& words, std::ostream& out, std::ostream& err,
               const ZorvctlParts& parts) {
  try {
    Arguments arguments;
    std::string error;
    if (!ParseArguments(words, arguments, error)) return UsageError(arguments, error, err);
    if (arguments.help) {
      out << HelpText(arguments.command);
      return kExitDone;
    }
    // Checking a file touches no card: no library, no single-instance name, no log.
    if (arguments.command == Command::kCheck) return CheckSetupFileCommand(arguments, out, err);
    return RunCommand(words, arguments, parts, out, err);
  } catch (const std::exception& failure) {
    err << "zorvctl: " << failure.what() << "\n";
    return kExitFailed;
  }
}

}  // namespace zorvctl
