#pragma once
// For the tests of the library and its parts: the log read back entry by entry (an entry's own
// line breaks included).

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

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

}  // namespace zorv_test
