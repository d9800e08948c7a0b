// The operator program's reads through the exports, in-process against one emulated card on
// the real clock: one polling pass (group A with the bit error test running, then group B)
// and one lock status read. Each is reported as a ratio to its protocol floor, the sum of the
// 2 ms and 5 ms pauses it must make ("floor_ratio").

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>

#include "bench/FloorClock.h"
#include "dll/Keltdllglobunit.h"
#include "emulator/VirtualPciBus.h"
#include "platform/process.h"
#include "zorv/ZorvApi.h"

namespace {

// The library loaded over one card whose module reports lock in its status register (dated
// before the modules that report it through their operational status), the API open, the
// options read and a setup with the bit error test loaded, as a card window leaves it.
class LoadedCard {
 public:
  explicit LoadedCard(benchmark::State& state) {
    const std::filesystem::path folder = std::filesystem::temp_directory_path() /
                                         ("zorvdll_bench_" + std::to_string(platform::ProcessId()));
    std::filesystem::create_directories(folder);
    std::filesystem::current_path(folder);
    platform::SetEnvironmentVariable("ZORV_EMULATE", "benchmark");
    emulator::CardScenario card;
    card.configuration = {0x00, 0x00, 0x4E, 0x07, 0x07, 0x0D};
    emulator::StartBus(emulator::Scenario{{card}});
    ZorvDllProcessAttach();
    uint8_t dos_mode = 0;
    int32_t count = 0;
    int32_t bitsync_counts[kZorvApiMaxCards] = {};
    int32_t reserved[kZorvApiMaxCards] = {};
    uint8_t option_20_mbit = 0;
    uint8_t option_ber = 0;
    BitsyncSetup setup{};
    setup.InputSource = 1;
    setup.InputCode = 5;
    setup.OutputCode = 7;
    setup.BitRate = 1'024'000;
    setup.BerTestingEnabled = 1;
    if (ZorvApiOpen(&dos_mode, &count, bitsync_counts, reserved) != 0 || count != 1 ||
        ZorvApiGetBitsyncOptions(0, &option_20_mbit, &option_ber) != 0 ||
        ZorvApiLoadBitsyncSetup(0, &setup) != 0) {
      state.SkipWithError("the emulated card did not open");
    }
  }
  ~LoadedCard() {
    ZorvDllProcessDetach();
    emulator::StopBus();
  }
  LoadedCard(const LoadedCard&) = delete;
  LoadedCard& operator=(const LoadedCard&) = delete;
};

// Times `step` per iteration and reports the ratio of the time to the pauses it made.
void RunAgainstFloor(benchmark::State& state, FloorClock& clock, const char* what,
                     const std::function<bool()>& step) {
  double elapsed_s = 0;
  clock.floor_ms = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    const bool done = step();
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    if (!done) state.SkipWithError("a read failed");
    state.SetIterationTime(took.count());
    elapsed_s += took.count();
  }
  const double floor_s = static_cast<double>(clock.floor_ms) / 1000.0;
  const double ratio = floor_s > 0 ? elapsed_s / floor_s : 0.0;
  state.counters["floor_ms"] = floor_s * 1000.0 / static_cast<double>(state.iterations());
  state.counters["floor_ratio"] = ratio;
  std::printf("%s: %.1f ms a time, floor %.1f ms, ratio to the protocol floor %.3f\n", what,
              elapsed_s * 1000.0 / static_cast<double>(state.iterations()),
              floor_s * 1000.0 / static_cast<double>(state.iterations()), ratio);
}

void BM_PollingPass(benchmark::State& state) {
  FloorClock clock;
  platform::ScopedClock scoped(clock);
  LoadedCard card(state);
  RunAgainstFloor(state, clock, "polling pass (group A and group B)", [] {
    uint8_t b[5] = {};
    char text[kZorvApiMinTextBuffer];
    uint32_t count = 0;
    // Group A while the bit error test runs.
    bool ok = ZorvApiGetBitSyncOperationalStatus(0, &b[0], &b[1], &b[2], &b[3]) == 0 &&
              ZorvApiGetSignalVoltage(0, text) == 0 && ZorvApiGetGetOffsetFrequency(0, text) == 0 &&
              ZorvApiGetEstimatedEsNo(0, text) == 0 &&
              ZorvApiGetLinkAnalysisBitCount(0, &count) == 0 &&
              ZorvApiGetLinkAnalysisErrorCount(0, &count) == 0 &&
              ZorvApiGetLinkAnalysisOperationalStatus(0, &b[0], &b[1], &b[2]) == 0;
    // Group B.
    ok = ok && ZorvApiGetBIT(0, &b[0], &b[1], &b[2], &b[3], &b[4]) == 0 &&
         ZorvApiGetBitsyncProgrammedBitRate(0, &count) == 0;
    return ok;
  });
}

void BM_LockStatusRead(benchmark::State& state) {
  FloorClock clock;
  platform::ScopedClock scoped(clock);
  LoadedCard card(state);
  RunAgainstFloor(state, clock, "lock status read", [] {
    int32_t status = 0;
    return ZorvApiGetBitsyncStatus(0, &status) == 0;
  });
}

BENCHMARK(BM_PollingPass)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_LockStatusRead)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(200);

}  // namespace

BENCHMARK_MAIN();
