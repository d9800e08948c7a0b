#pragma once
// How the system's file systems treat file names.

namespace platform {

// True when two names that differ only in letter case name two different files.
bool FileNamesAreCaseSensitive();

}  // namespace platform
