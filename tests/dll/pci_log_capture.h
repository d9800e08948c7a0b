#pragma once
// The library's log, opened in a scratch directory that is the start and current directory
// for the object's lifetime, read back entry by entry (an entry's own line breaks included).

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "platform/process.h"
#include "support/keserrorlog.h"

namespace zorv_test {

struct LogEntry {
  int32_t code = 0;
  std::string text;
  bool operator==(const LogEntry&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const LogEntry& entry) {
  return out << entry.code << " \"" << entry.text << "\"";
}

class LogCapture {
 public:
  LogCapture() : previous_(std::filesystem::current_path()) {
    static std::atomic<int> serial{0};
    path_ = std::filesystem::temp_directory_path() /
            ("pci_test_" + std::to_string(platform::ProcessId()) + "_" +
             std::to_string(serial.fetch_add(1)));
    std::filesystem::create_directories(path_);
    std::filesystem::current_path(path_);
    OpenErrorLog(true, "test", kName, "", kName);
    banner_entries_ = AllEntries().size();
  }
  ~LogCapture() {
    CloseErrorLog(true);
    std::filesystem::current_path(previous_);
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  const std::filesystem::path& path() const { return path_; }

  // The entries written since the log opened.
  std::vector<LogEntry> Entries() const {
    std::vector<LogEntry> entries = AllEntries();
    entries.erase(entries.begin(), entries.begin() + static_cast<ptrdiff_t>(banner_entries_));
    return entries;
  }

 private:
  static constexpr const char* kName = "PCITEST";

  std::vector<LogEntry> AllEntries() const {
    static const std::regex kHeader(R"(^(-?\d+)  \d+:\d+:\d+: *[0-9.]+  )");
    std::ifstream file(path_ / (std::string(kName) + ".Log"), std::ios::binary);
    std::stringstream contents;
    contents << file.rdbuf();
    const std::string all = contents.str();
    std::vector<LogEntry> entries;
    size_t start = 0;
    for (size_t end; (end = all.find("\r\n", start)) != std::string::npos; start = end + 2) {
      const std::string line = all.substr(start, end - start);
      std::smatch match;
      if (std::regex_search(line, match, kHeader)) {
        entries.push_back({std::stoi(match[1].str()), match.suffix().str()});
      } else if (!entries.empty()) {
        entries.back().text += "\r\n" + line;
      }
    }
    return entries;
  }

  std::filesystem::path previous_;
  std::filesystem::path path_;
  size_t banner_entries_ = 0;
};

}  // namespace zorv_test
