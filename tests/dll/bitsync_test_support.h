#pragma once
// Shared by the bitsync tests: a virtual clock that remembers every pause, and a scratch
// directory that is the process's start and current directory, with the library's log open
// in it so that tests read back the lines the bitsync wrote.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "platform/clock.h"

namespace bitsync_test {

class RecordingClock final : public platform::Clock {
 public:
  void Sleep(uint32_t milliseconds) override {
    sleeps.push_back(milliseconds);
    time.Sleep(milliseconds);
  }
  void Yield() override { ++yields; }
  int64_t PerformanceCounter() override { return time.PerformanceCounter(); }
  int64_t PerformanceFrequency() override { return time.PerformanceFrequency(); }
  platform::LocalTime Now() override { return time.Now(); }
  int64_t MonotonicNanoseconds() override { return time.MonotonicNanoseconds(); }

  // Virtual milliseconds since construction or the last Forget.
  int64_t ElapsedMs() { return (time.MonotonicNanoseconds() - start_ns_) / 1'000'000; }
  int SleepsOf(uint32_t milliseconds) const;
  void Forget() {
    sleeps.clear();
    yields = 0;
    start_ns_ = time.MonotonicNanoseconds();
  }

  platform::VirtualClock time;
  std::vector<uint32_t> sleeps;
  int yields = 0;

 private:
  int64_t start_ns_ = 0;
};

struct LogLineRecord {
  int32_t code = 0;
  std::string text;
};

class ScratchDirectory {
 public:
  ScratchDirectory();
  ~ScratchDirectory();
  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;

  void WriteFile(const std::string& name, const std::string& contents) const;
  void RemoveFile(const std::string& name) const;

  // Every line the log holds so far, banner included.
  std::vector<LogLineRecord> Lines() const;
  // Lines whose text contains the fragment.
  std::vector<LogLineRecord> LinesWith(std::string_view fragment) const;
  int Count(std::string_view fragment) const {
    return static_cast<int>(LinesWith(fragment).size());
  }
  // Starts the lines that Lines() reports afresh.
  void Forget();

  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path previous_;
  std::filesystem::path path_;
  size_t skip_ = 0;
};

}  // namespace bitsync_test
