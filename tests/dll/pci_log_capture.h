#pragma once
// The library's log, opened in a scratch directory that is the start and current directory
// for the object's lifetime, read back entry by entry. As the library's load does, it makes
// the next open on emulated cards say so in the new log.

#include <filesystem>
#include <string>
#include <vector>

#include "dll/KesPlxDriverDevice.h"
#include "support/keserrorlog.h"
#include "tests/common/ScratchFolder.h"
#include "tests/dll/library_log.h"

namespace zorv_test {

class LogCapture {
 public:
  LogCapture() : folder_("pci_test") {
    OpenErrorLog(true, "test", kName, "", kName);
    DriverDevice::AnnounceEmulationAgain();
    banner_entries_ = AllEntries().size();
  }
  ~LogCapture() { CloseErrorLog(true); }
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  const std::filesystem::path& path() const { return folder_.path(); }

  // The entries written since the log opened.
  std::vector<LogEntry> Entries() const {
    std::vector<LogEntry> entries = AllEntries();
    entries.erase(entries.begin(), entries.begin() + static_cast<ptrdiff_t>(banner_entries_));
    return entries;
  }

 private:
  static constexpr const char* kName = "PCITEST";

  std::vector<LogEntry> AllEntries() const {
    return ReadLogEntries(path() / (std::string(kName) + ".Log"));
  }

  ScratchFolder folder_;
  size_t banner_entries_ = 0;
};

}  // namespace zorv_test
