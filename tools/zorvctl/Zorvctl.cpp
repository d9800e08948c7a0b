#include "tools/zorvctl/Zorvctl.h"

#include <exception>
#include <optional>

#include "app/Progzorvunit.h"
#include "app/ZorvSingleInstance.h"
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

int RunCommand(const std::vector<std::string>& words, const Arguments& arguments,
               const ZorvctlParts& parts, std::ostream& out, std::ostream& err) {
  // The cards must not be driven by two programs at once.
  const platform::InstanceGuard single_instance(kSingleInstanceName);
  if (single_instance.AlreadyRunning()) {
    err << "zorvctl: ZorvApp is running; zorvctl does not drive the cards beside it\n";
    return kExitFailed;
  }
  platform::ClearInterrupt();
  platform::CatchInterrupts();
  // Nobody is there to click a message box away, in the library or here.
  platform::SetEnvironmentVariable("ZORV_HEADLESS", "1");
  if (arguments.emulate) platform::SetEnvironmentVariable("ZORV_EMULATE", *arguments.emulate);

  OpenErrorLog(false, kVersion, "zorvctl", "", "zorvctl");
  std::string command_line = "zorvctl";
  for (const std::string& word : words) command_line += " " + word;
  LogInfo(command_line, 0, false);
  int exit_code = kExitFailed;
  {
    progzorvclass zorv(parts.dll_locations);
    if (!zorv.DllLoaded()) {
      err << "zorvctl: the card library ZORVDLL could not be loaded (see zorvctl.Log)\n";
    } else {
      Session session(zorv, out, err);
      exit_code = session.Run(arguments);
    }
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
    return RunCommand(words, arguments, parts, out, err);
  } catch (const std::exception& failure) {
    err << "zorvctl: " << failure.what() << "\n";
    return kExitFailed;
  }
}

}  // namespace zorvctl
