// zorvctl's command lines: random argument vectors (words separated by NUL bytes, as no
// argument can hold one) run in-process against the card library on emulated cards. Every
// run ends with a documented exit code, and a usage error is one line on standard error.
//
// Run it in a private mount namespace with its own /tmp/zorv-locks (as the test suites are):
// zorvctl holds the operator program's machine-wide single-instance name while it runs.

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "fuzz/FuzzScratch.h"
#include "platform/clock.h"
#include "platform/dynamic_library.h"
#include "platform/interrupts.h"
#include "platform/process.h"
#include "tools/zorvctl/Zorvctl.h"
#include "tools/zorvctl/ZorvctlArguments.h"

namespace {

using zorv_fuzz::Check;

constexpr size_t kMostWords = 12;
constexpr size_t kLongestWord = 64;
// Virtual seconds a run may wait (--watch, ber --seconds, monitor) before Ctrl+C ends it.
constexpr int64_t kSecondsBeforeCtrlC = 3;

// zorvctl's waits on virtual time, which a Ctrl+C cuts short, so that no run sleeps for real
// and every waiting command comes to an end. The card library keeps its own clock.
class CtrlCClock final : public platform::Clock {
 public:
  void StartRun() {
    deadline_ = time_.MonotonicNanoseconds() + kSecondsBeforeCtrlC * 1'000'000'000;
  }
  void Sleep(uint32_t milliseconds) override {
    time_.Advance(int64_t{milliseconds} * 1'000'000);
    if (time_.MonotonicNanoseconds() >= deadline_) {
      platform::RequestInterrupt();
      deadline_ = INT64_MAX;  // one Ctrl+C: a second would end the process
    }
  }
  void Yield() override { Sleep(0); }
  int64_t PerformanceCounter() override { return time_.PerformanceCounter(); }
  int64_t PerformanceFrequency() override { return time_.PerformanceFrequency(); }
  platform::LocalTime Now() override { return time_.Now(); }
  int64_t MonotonicNanoseconds() override { return time_.MonotonicNanoseconds(); }

 private:
  platform::VirtualClock time_;
  int64_t deadline_ = INT64_MAX;
};

[[noreturn]] void EndProcess(int) {
  zorv_fuzz::Fail("zorvctl ended the process at once");
}

// zorvctl keeps its log and the files it saves in the current directory: the scratch folder
// during a run, libFuzzer's own between runs (its corpus paths may be relative to it).
class InScratchFolder {
 public:
  InScratchFolder() { std::filesystem::current_path(zorv_fuzz::ScratchFolder()); }
  ~InScratchFolder() { std::filesystem::current_path(previous_); }
  InScratchFolder(const InScratchFolder&) = delete;
  InScratchFolder& operator=(const InScratchFolder&) = delete;

 private:
  const std::filesystem::path previous_ = std::filesystem::current_path();
};

// Set up once: cards that keep nothing, the virtual clock, and the card library loaded for the
// whole process, so that each run's binding is cheap and the library's coverage stays mapped.
CtrlCClock& Prepare() {
  static CtrlCClock clock;
  static const bool prepared = [] {
    platform::SetEnvironmentVariable("XDG_RUNTIME_DIR", zorv_fuzz::ScratchFolder().string());
    platform::SetEnvironmentVariable("ZORV_SILENT", "1");
    const zorvctl::ZorvctlParts parts;
    const platform::LibraryHandle library =
        platform::LoadLibraryByName(parts.dll_locations.fallback_path);
    if (library == nullptr) zorv_fuzz::Fail("no card library: " + platform::LastLibraryError());
    platform::InstallClock(&clock);
    return true;
  }();
  (void)prepared;
  return clock;
}

std::vector<std::string> Words(const uint8_t* bytes, size_t size) {
  std::vector<std::string> words;
  std::string_view rest(reinterpret_cast<const char*>(bytes), size);
  while (!rest.empty() && words.size() < kMostWords) {
    const size_t end = rest.find('\0');
    words.emplace_back(rest.substr(0, std::min(end, kLongestWord)));
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
  }
  return words;
}

// Words the target leaves out: a path with a folder could make save, --csv or --journal write
// outside the scratch folder, and --metrics would open a listening socket.
bool Skipped(const std::vector<std::string>& words) {
  return std::any_of(words.begin(), words.end(), [](const std::string& word) {
    return word.find('/') != std::string::npos || word.starts_with("--metrics");
  });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  CtrlCClock& clock = Prepare();
  const std::vector<std::string> words = Words(bytes, size);
  if (Skipped(words)) return -1;  // not added to the corpus

  platform::SetEnvironmentVariable("ZORV_EMULATE", "2");
  platform::SetEnvironmentVariable("ZORV_EMULATE_FRESH", "1");
  platform::ClearInterrupt();
  clock.StartRun();
  std::ostringstream out;
  std::ostringstream err;
  zorvctl::ZorvctlParts parts;
  parts.end_process = EndProcess;
  const int exit_code = [&] {
    const InScratchFolder scratch;
    return zorvctl::RunZorvctl(words, out, err, parts);
  }();

  Check(exit_code == zorvctl::kExitDone || exit_code == zorvctl::kExitFailed ||
            exit_code == zorvctl::kExitUsage,
        "an exit code zorvctl does not document");
  if (exit_code == zorvctl::kExitUsage) {
    const std::string error = err.str();
    if (std::count(error.begin(), error.end(), '\n') != 1 || !error.ends_with('\n')) {
      zorv_fuzz::Fail("a usage error of other than one line: " + error);
    }
    Check(out.str().empty(), "a usage error wrote to standard output");
  }
  return 0;
}
