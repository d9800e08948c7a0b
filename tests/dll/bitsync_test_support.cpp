#include "tests/dll/bitsync_test_support.h"

#include <algorithm>
#include <atomic>
#include <fstream>
#include <regex>

#include "platform/process.h"
#include "support/keserrorlog.h"

namespace bitsync_test {
namespace {

constexpr const char* kLogName = "BITSYNCTEST";

std::filesystem::path NewScratchPath() {
  static std::atomic<int> serial{0};
  const auto name = "bitsync_test_" + std::to_string(platform::ProcessId()) + "_" +
                    std::to_string(serial.fetch_add(1));
  return std::filesystem::temp_directory_path() / name;
}

}  // namespace

int RecordingClock::SleepsOf(uint32_t milliseconds) const {
  return static_cast<int>(std::count(sleeps.begin(), sleeps.end(), milliseconds));
}

ScratchDirectory::ScratchDirectory() : previous_(std::filesystem::current_path()) {
  path_ = NewScratchPath();
  std::filesystem::create_directories(path_);
  std::filesystem::current_path(path_);
  OpenErrorLog(true, "4.24", kLogName, "", kLogName);
}

ScratchDirectory::~ScratchDirectory() {
  CloseErrorLog(true);
  std::filesystem::current_path(previous_);
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

void ScratchDirectory::WriteFile(const std::string& name, const std::string& contents) const {
  std::ofstream(path_ / name, std::ios::binary) << contents;
}

void ScratchDirectory::RemoveFile(const std::string& name) const {
  std::filesystem::remove(path_ / name);
}

std::vector<LogLineRecord> ScratchDirectory::Lines() const {
  static const std::regex kLine(R"(^(-?\d+)  \d+:\d+:\d+: *[0-9.]+  (.*)$)");
  std::ifstream file(path_ / (std::string(kLogName) + ".Log"), std::ios::binary);
  std::vector<LogLineRecord> lines;
  std::string raw;
  size_t index = 0;
  while (std::getline(file, raw)) {
    if (!raw.empty() && raw.back() == '\r') raw.pop_back();
    std::smatch match;
    if (index++ < skip_ || !std::regex_match(raw, match, kLine)) continue;
    lines.push_back({std::stoi(match[1].str()), match[2].str()});
  }
  return lines;
}

std::vector<LogLineRecord> ScratchDirectory::LinesWith(std::string_view fragment) const {
  std::vector<LogLineRecord> found;
  for (auto& line : Lines()) {
    if (line.text.find(fragment) != std::string::npos) found.push_back(std::move(line));
  }
  return found;
}

void ScratchDirectory::Forget() {
  std::ifstream file(path_ / (std::string(kLogName) + ".Log"), std::ios::binary);
  std::string raw;
  size_t count = 0;
  while (std::getline(file, raw)) ++count;
  skip_ = count;
}

}  // namespace bitsync_test
