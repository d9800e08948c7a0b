#pragma once
// zorvctl: the operator program's powers without a desktop, for scripted station checks.

#include <cstdlib>
#include <ostream>
#include <string>
#include <vector>

#include "app/Progzorvunit.h"
#include "tools/zorvctl/ZorvctlWaits.h"

namespace zorvctl {

// What a run is put together from: where the card library is looked for, and how the process
// ends at once (at a second Ctrl+C).
struct ZorvctlParts {
  DllLocations dll_locations = DefaultDllLocations();
  EndProcess end_process = std::_Exit;
};

// Runs one command line (the words after the program name) and returns the exit code. Refuses
// to run while the operator program's single-instance name is taken, and holds the name while
// it runs.
int RunZorvctl(const std::vector<std::string>& words, std::ostream& out, std::ostream& err,
               const ZorvctlParts& parts = {});

}  // namespace zorvctl
