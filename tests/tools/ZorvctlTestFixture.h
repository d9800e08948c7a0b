#pragma once
// Runs zorvctl's command lines inside the test, in a fresh temporary directory that is the
// current directory, against the fake library put there under the library's file name, on a
// virtual clock that can press Ctrl+C at a chosen time.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "app/ZorvSetupFiles.h"
#include "app/ZorvSingleInstance.h"
#include "platform/clock.h"
#include "platform/instance_guard.h"
#include "platform/interrupts.h"
#include "tests/app/BindingTestFixture.h"
#include "tests/common/ScratchFolder.h"
#include "tests/tools/WatcherTestSupport.h"
#include "tools/zorvctl/Zorvctl.h"

// Virtual time that raises the interrupt flag, as Ctrl+C does, once it reaches the stop time,
// and notes whether the single-instance name was taken while the program slept. It can make
// every reading of the clock cost time, as slow card reads between them would.
class InterruptingClock final : public platform::Clock {
 public:
  void Sleep(uint32_t milliseconds) override {
    Advance(int64_t{milliseconds} * 1'000'000);
    name_taken_while_sleeping_ = platform::InstanceGuard(kSingleInstanceName).AlreadyRunning();
  }
  void Yield() override { time_.Yield(); }
  int64_t PerformanceCounter() override { return time_.PerformanceCounter(); }
  int64_t PerformanceFrequency() override { return time_.PerformanceFrequency(); }
  platform::LocalTime Now() override { return time_.Now(); }
  int64_t MonotonicNanoseconds() override {
    Advance(reading_cost_);
    return time_.MonotonicNanoseconds();
  }

  void InterruptAfterMilliseconds(int64_t milliseconds) {
    interrupt_at_ = time_.MonotonicNanoseconds() + milliseconds * 1'000'000;
  }
  void ChargeEveryReading(int64_t milliseconds) { reading_cost_ = milliseconds * 1'000'000; }
  bool NameTakenWhileSleeping() const { return name_taken_while_sleeping_; }

 private:
  // One Ctrl+C: a second would end the program at once.
  void Advance(int64_t nanoseconds) {
    time_.Advance(nanoseconds);
    if (time_.MonotonicNanoseconds() >= interrupt_at_) {
      platform::RequestInterrupt();
      interrupt_at_ = INT64_MAX;
    }
  }

  platform::VirtualClock time_;
  int64_t interrupt_at_ = INT64_MAX;
  int64_t reading_cost_ = 0;
  bool name_taken_while_sleeping_ = false;
};

class ZorvctlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::ClearInterrupt();
    end_process_calls = 0;
  }

  void TearDown() override {
    for (platform::LibraryHandle handle : handles_) platform::FreeLibraryHandle(handle);
    platform::ClearInterrupt();
    EXPECT_EQ(end_process_calls, 0) << "the program ended the process";
  }

  // Stands in for ending the process at once, which would end the test.
  static void NoteEndProcess(int) { ++end_process_calls; }
  static inline std::atomic<int> end_process_calls{0};

  FakeZorvDllState& InstallFake() {
    return InstallFakeLibrary(FAKE_ZORVDLL, Path(kLibraryFile), handles_);
  }

  // The error stream of the run under way; the program's watcher thread writes it too.
  std::string ErrorsSoFar() { return running_err_.Text(); }

  int Run(const std::vector<std::string>& words) {
    std::ostringstream out;
    running_err_.Clear();
    std::ostream err(&running_err_);
    // The fake in the current directory, not the library the build put beside the tests.
    const int exit_code = zorvctl::RunZorvctl(
        words, out, err, {{kLibraryFile, Path("fallback/" + kLibraryFile)}, NoteEndProcess});
    out_ = out.str();
    err_ = running_err_.Text();
    return exit_code;
  }

  std::string Path(const std::string& name) const { return folder_.Path(name); }
  static std::string ReadText(const std::string& path) { return Folder::ReadText(path); }
  static void WriteText(const std::string& path, const std::string& text) {
    Folder::WriteText(path, text);
  }

  SharedText running_err_;
  InterruptingClock clock_;
  platform::ScopedClock scoped_clock_{clock_};
  std::string out_;
  std::string err_;

 private:
  using Folder = zorv_test::ScratchFolder;
  Folder folder_{"zorvctl"};
  std::vector<platform::LibraryHandle> handles_;
};
