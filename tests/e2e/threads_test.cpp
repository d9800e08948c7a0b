// Two threads on one card through the loaded library, at the operator program's pace: its
// polling thread reads the slow values group by group once a second, its window thread reads
// the lock status every 200 ms and now and then loads a setup, sets the quick-react mode and
// reads the programmed bit rate back. Runs a few seconds on the real clock (the point is real
// interleaving). Every call must return its success or its own failure
// code, a setup read back is always the last one reported loaded, and the emulated module
// counts no protocol violation.

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "tests/e2e/ZorvDllFixture.h"

namespace zorv_e2e {
namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

constexpr auto kRunTime = milliseconds(5000);
constexpr auto kTick = milliseconds(200);
constexpr auto kPollPeriod = milliseconds(1000);

BitsyncSetup BerSetup(uint32_t bit_rate, int32_t input_code) {
  BitsyncSetup setup{};
  setup.InputSource = 1;
  setup.InputCode = input_code;
  setup.OutputCode = 7;
  setup.LoopBandwidth = 0;
  setup.BitRate = bit_rate;
  setup.BerTestingEnabled = 1;
  return setup;
}

// Records the calls of one thread and what went wrong in them.
class CallLog {
 public:
  // True on success; a code that is neither success nor `failure` is a problem.
  bool Check(const char* name, int32_t code, int32_t failure) {
    ++calls_;
    if (code == kZorvApiSuccess) return true;
    if (code != failure) Problem(std::string(name) + " returned " + std::to_string(code));
    return false;
  }
  void Problem(const std::string& text) {
    if (problems_.size() < 10) problems_.push_back(text);
  }
  int calls() const { return calls_; }
  const std::vector<std::string>& problems() const { return problems_; }

 private:
  int calls_ = 0;
  std::vector<std::string> problems_;
};

class TwoThreadsTest : public ZorvDllTest {};

TEST_F(TwoThreadsTest, PollingAndSetupLoadsShareOneCard) {
  Load("[Bus]\nCards=1\n");
  ASSERT_EQ(OpenApi(), 1);
  const ZorvApiTable& a = api();
  uint8_t option_20_mbit = 0;
  uint8_t option_ber = 0;
  ASSERT_EQ(a.ZorvApiGetBitsyncOptions(0, &option_20_mbit, &option_ber), 0);

  // The polling thread: a pass is triggered once a second unless the last one still runs;
  // passes alternate between the two groups of slow values.
  std::atomic<bool> stop{false};
  CallLog poller_log;
  int group_passes = 0;
  std::thread poller([&] {
    auto trigger = steady_clock::now();
    while (!stop.load()) {
      uint8_t b[5] = {};
      char text[kZorvApiMinTextBuffer];
      uint32_t count = 0;
      if (group_passes % 2 == 0) {
        poller_log.Check("ZorvApiGetBitSyncOperationalStatus",
                         a.ZorvApiGetBitSyncOperationalStatus(0, &b[0], &b[1], &b[2], &b[3]),
                         kZorvApiOperationalStatusFailed);
        poller_log.Check("ZorvApiGetSignalVoltage", a.ZorvApiGetSignalVoltage(0, text),
                         kZorvApiSignalVoltageFailed);
        poller_log.Check("ZorvApiGetGetOffsetFrequency", a.ZorvApiGetGetOffsetFrequency(0, text),
                         kZorvApiOffsetFrequencyFailed);
        poller_log.Check("ZorvApiGetEstimatedEsNo", a.ZorvApiGetEstimatedEsNo(0, text),
                         kZorvApiEsNoFailed);
        poller_log.Check("ZorvApiGetLinkAnalysisBitCount",
                         a.ZorvApiGetLinkAnalysisBitCount(0, &count), kZorvApiBitCountFailed);
        poller_log.Check("ZorvApiGetLinkAnalysisErrorCount",
                         a.ZorvApiGetLinkAnalysisErrorCount(0, &count), kZorvApiErrorCountFailed);
        poller_log.Check("ZorvApiGetLinkAnalysisOperationalStatus",
                         a.ZorvApiGetLinkAnalysisOperationalStatus(0, &b[0], &b[1], &b[2]),
                         kZorvApiLinkAnalysisStatusFailed);
      } else {
        poller_log.Check("ZorvApiGetBIT", a.ZorvApiGetBIT(0, &b[0], &b[1], &b[2], &b[3], &b[4]),
                         kZorvApiBitFailed);
        poller_log.Check("ZorvApiGetBitsyncProgrammedBitRate",
                         a.ZorvApiGetBitsyncProgrammedBitRate(0, &count),
                         kZorvApiProgrammedBitRateFailed);
      }
      ++group_passes;
      while (trigger <= steady_clock::now()) trigger += kPollPeriod;
      while (!stop.load() && steady_clock::now() < trigger) std::this_thread::sleep_for(kTick / 10);
    }
  });

  // The window thread: the lock status on every tick, and now and then a setup with its
  // quick-react mode, read back at once. A refused setup is sent again on the next turn.
  CallLog window_log;
  int loaded = 0;
  int read_back = 0;
  const BitsyncSetup setups[2] = {BerSetup(1'024'000, 5), BerSetup(2'048'000, 3)};
  uint32_t last_loaded_rate = 0;
  int next_setup = 0;
  int32_t status = 0;
  const auto end = steady_clock::now() + kRunTime;
  for (int tick = 0; steady_clock::now() < end; ++tick) {
    if (window_log.Check("ZorvApiGetBitsyncStatus", a.ZorvApiGetBitsyncStatus(0, &status),
                         kZorvApiBitsyncStatusFailed) &&
        (status < 0 || status > 5)) {
      window_log.Problem("lock status " + std::to_string(status));
    }
    if (tick % 3 == 0) {
      const BitsyncSetup& setup = setups[next_setup];
      if (window_log.Check("ZorvApiLoadBitsyncSetup", a.ZorvApiLoadBitsyncSetup(0, &setup),
                           kZorvApiBitsyncSetupFailed)) {
        last_loaded_rate = setup.BitRate;
        next_setup = 1 - next_setup;
        ++loaded;
      }
      window_log.Check("ZorvApiSetBitsyncQuickReactMode",
                       a.ZorvApiSetBitsyncQuickReactMode(0, next_setup), kZorvApiQuickReactFailed);
      uint32_t rate = 0;
      if (window_log.Check("ZorvApiGetBitsyncProgrammedBitRate",
                           a.ZorvApiGetBitsyncProgrammedBitRate(0, &rate),
                           kZorvApiProgrammedBitRateFailed)) {
        ++read_back;
        if (loaded > 0 && rate != last_loaded_rate) {
          window_log.Problem("read back " + std::to_string(rate) + " after loading " +
                             std::to_string(last_loaded_rate));
        }
      }
    }
    std::this_thread::sleep_for(kTick);
  }
  stop.store(true);
  poller.join();

  for (const CallLog* thread_log : {&poller_log, &window_log}) {
    for (const std::string& problem : thread_log->problems()) ADD_FAILURE() << problem;
  }
  RecordProperty("group_passes", group_passes);
  RecordProperty("setups_loaded", loaded);
  RecordProperty("window_calls", window_log.calls());
  EXPECT_GE(group_passes, 2);
  EXPECT_GE(loaded, 1);
  EXPECT_GE(read_back, 1);
}

}  // namespace
}  // namespace zorv_e2e
