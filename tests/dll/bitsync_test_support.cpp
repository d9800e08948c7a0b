#include "tests/dll/bitsync_test_support.h"

#include <algorithm>

#include "support/keserrorlog.h"

namespace bitsync_test {
namespace {

constexpr const char* kLogName = "BITSYNCTEST";

}  // namespace

int RecordingClock::SleepsOf(uint32_t milliseconds) const {
  return static_cast<int>(std::count(sleeps.begin(), sleeps.end(), milliseconds));
}

LogFolder::LogFolder() {
  OpenErrorLog(true, "4.24", kLogName, "", kLogName);
}

LogFolder::~LogFolder() {
  CloseErrorLog(true);
}

std::vector<zorv_test::LogEntry> LogFolder::AllLines() const {
  return zorv_test::ReadLogEntries(folder_.path() / (std::string(kLogName) + ".Log"));
}

std::vector<zorv_test::LogEntry> LogFolder::Lines() const {
  std::vector<zorv_test::LogEntry> lines = AllLines();
  lines.erase(lines.begin(), lines.begin() + static_cast<ptrdiff_t>(std::min(skip_, lines.size())));
  return lines;
}

std::vector<zorv_test::LogEntry> LogFolder::LinesWith(std::string_view fragment) const {
  std::vector<zorv_test::LogEntry> found;
  for (auto& line : Lines()) {
    if (line.text.find(fragment) != std::string::npos) found.push_back(std::move(line));
  }
  return found;
}

}  // namespace bitsync_test
