#pragma once
// zorvctl: the operator program's powers without a desktop, for scripted station checks.

#include <ostream>
#include <string>
#include <vector>

#include "app/Progzorvunit.h"

namespace zorvctl {

// What a run is put together from: where the card library is looked for.
struct ZorvctlParts {
  DllLocations dll_locations = DefaultDllLocations();
};

// Runs one command line (the words after the program name) and returns the exit code. Refuses
// to run while the operator program's single-instance name is taken, and holds the name while
// it runs.
int RunZorvctl(const std::vector<std::string>& words, std::ostream& out, std::ostream& err,
               const ZorvctlParts& parts = {});

}  // namespace zorvctl
