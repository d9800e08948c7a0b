#pragma once
// zorvctl monitor: the cards watched as the card window watches them, fed into the operator
// core's link monitor (one per card), whose journal is shown as it grows, recorded to the pass
// record's files when asked, and served as metrics.

#include <ostream>
#include <string>

#include "app/Progzorvunit.h"
#include "tools/zorvctl/ZorvctlArguments.h"
#include "tools/zorvctl/ZorvctlWaits.h"

namespace zorvctl {

// Watches until Ctrl+C or the end of --seconds; the exit code. The cards' options must have been
// read (the session does that as it starts).
int RunMonitor(progzorvclass& zorv, CardWait& wait, const Arguments& arguments, std::ostream& out,
               std::ostream& err);

// The journal's name for a pass record's file: "pass.csv" gives "pass-journal.csv".
std::string JournalFileFor(const std::string& csv_file);

}  // namespace zorvctl
