#pragma once
// For the library's tests: a scratch folder that is the current directory for the object's
// lifetime (the library writes its log there), and a log read back entry by entry (an entry's
// own line breaks included).

#include <atomic>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "platform/process.h"

namespace zorv_test {

struct LogEntry {
  int32_t code = 0;
  std::string text;
  bool operator==(const LogEntry&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const LogEntry& entry) {
  return out << entry.code << " \"" << entry.text << "\"";
}

inline std::vector<LogEntry> ReadLogEntries(const std::filesystem::path& file_path) {
  static const std::regex kHeader(R"(^(-?\d+)  \d+:\d\d:\d\d:\d+\.\d{6}  )");
  std::ifstream file(file_path, std::ios::binary);
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

// The entries whose text starts with the prefix, in order.
inline std::vector<LogEntry> EntriesStartingWith(const std::vector<LogEntry>& entries,
                                                 const std::string& prefix) {
  std::vector<LogEntry> found;
  for (const LogEntry& entry : entries) {
    if (entry.text.rfind(prefix, 0) == 0) found.push_back(entry);
  }
  return found;
}

// A fresh folder, made the current directory until the object goes; removed afterwards.
class ScratchDirectory {
 public:
  explicit ScratchDirectory(const std::string& name) : previous_(std::filesystem::current_path()) {
    static std::atomic<int> serial{0};
    path_ = std::filesystem::temp_directory_path() /
            (name + "_" + std::to_string(platform::ProcessId()) + "_" +
             std::to_string(serial.fetch_add(1)));
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
    std::filesystem::current_path(path_);
  }
  ~ScratchDirectory() {
    std::error_code ignored;
    std::filesystem::current_path(previous_, ignored);
    std::filesystem::remove_all(path_, ignored);
  }
  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // Creates an empty file in the folder (a presence file such as tiloma.txt).
  void Touch(const std::string& file_name) const { std::ofstream(path_ / file_name).flush(); }

 private:
  std::filesystem::path previous_;
  std::filesystem::path path_;
};

}  // namespace zorv_test
