#pragma once
// Shared by the bitsync tests: a virtual clock that remembers every pause, and a scratch
// folder with the library's log open in it.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/clock.h"
#include "tests/common/ScratchFolder.h"
#include "tests/dll/library_log.h"
#include "zorv/BitsyncSetup.h"

namespace bitsync_test {

// 1,024,000 bit/s, loop bandwidth row 3, every code and flag 0.
inline BitsyncSetup BaseSetup() {
  BitsyncSetup setup{};
  setup.LoopBandwidth = 3;
  setup.BitRate = 1'024'000;
  return setup;
}

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

// The scratch folder as the start and current directory, with the library's log open in it;
// reads back the lines the bitsync wrote.
class LogFolder {
 public:
  LogFolder();
  ~LogFolder();
  LogFolder(const LogFolder&) = delete;
  LogFolder& operator=(const LogFolder&) = delete;

  void WriteFile(const std::string& name, const std::string& contents) const {
    zorv_test::ScratchFolder::WriteText(folder_.Path(name), contents);
  }

  // The entries written since the log opened (banner included) or since the last Forget.
  std::vector<zorv_test::LogEntry> Lines() const;
  // Entries whose text contains the fragment.
  std::vector<zorv_test::LogEntry> LinesWith(std::string_view fragment) const;
  int Count(std::string_view fragment) const {
    return static_cast<int>(LinesWith(fragment).size());
  }
  // Starts the entries that Lines() reports afresh.
  void Forget() { skip_ = AllLines().size(); }

 private:
  std::vector<zorv_test::LogEntry> AllLines() const;

  zorv_test::ScratchFolder folder_{"bitsync_test"};
  size_t skip_ = 0;
};

}  // namespace bitsync_test
