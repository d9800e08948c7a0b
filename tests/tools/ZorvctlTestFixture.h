#pragma once
// Runs zorvctl's command lines inside the test, in a fresh temporary directory that is the
// current directory, against the fake library put there under the library's file name, on a
// virtual clock that can press Ctrl+C at a chosen time.

#include <gtest/gtest.h>

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
#include "tools/zorvctl/Zorvctl.h"

// Virtual time that raises the interrupt flag, as Ctrl+C does, once it reaches the stop time,
// and notes whether the single-instance name was taken while the program slept.
class InterruptingClock final : public platform::Clock {
 public:
  void Sleep(uint32_t milliseconds) override {
    time_.Sleep(milliseconds);
    if (time_.MonotonicNanoseconds() >= interrupt_at_) platform::RequestInterrupt();
    name_taken_while_sleeping_ = platform::InstanceGuard(kSingleInstanceName).AlreadyRunning();
  }
  void Yield() override { time_.Yield(); }
  int64_t PerformanceCounter() override { return time_.PerformanceCounter(); }
  int64_t PerformanceFrequency() override { return time_.PerformanceFrequency(); }
  platform::LocalTime Now() override { return time_.Now(); }
  int64_t MonotonicNanoseconds() override { return time_.MonotonicNanoseconds(); }

  void InterruptAfterMilliseconds(int64_t milliseconds) {
    interrupt_at_ = time_.MonotonicNanoseconds() + milliseconds * 1'000'000;
  }
  bool NameTakenWhileSleeping() const { return name_taken_while_sleeping_; }

 private:
  platform::VirtualClock time_;
  int64_t interrupt_at_ = INT64_MAX;
  bool name_taken_while_sleeping_ = false;
};

class ZorvctlTest : public ::testing::Test {
 protected:
  void SetUp() override { platform::ClearInterrupt(); }

  void TearDown() override {
    for (platform::LibraryHandle handle : handles_) platform::FreeLibraryHandle(handle);
    platform::ClearInterrupt();
  }

  FakeZorvDllState& InstallFake() {
    return InstallFakeLibrary(FAKE_ZORVDLL, Path(kLibraryFile), handles_);
  }

  int Run(const std::vector<std::string>& words) {
    std::ostringstream out;
    std::ostringstream err;
    // The fake in the current directory, not the library the build put beside the tests.
    const int exit_code =
        zorvctl::RunZorvctl(words, out, err, {{kLibraryFile, Path("fallback/" + kLibraryFile)}});
    out_ = out.str();
    err_ = err.str();
    return exit_code;
  }

  std::string Path(const std::string& name) const { return folder_.Path(name); }
  static std::string ReadText(const std::string& path) { return Folder::ReadText(path); }
  static void WriteText(const std::string& path, const std::string& text) {
    Folder::WriteText(path, text);
  }

  InterruptingClock clock_;
  platform::ScopedClock scoped_clock_{clock_};
  std::string out_;
  std::string err_;

 private:
  using Folder = zorv_test::ScratchFolder;
  Folder folder_{"zorvctl"};
  std::vector<platform::LibraryHandle> handles_;
};
