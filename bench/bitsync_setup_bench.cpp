// Times a complete bitsync setup against the emulated module on the real clock. The protocol
// itself pauses 2 ms after every register access and 5 ms after every busy or PE test; the
// sum of those pauses is the floor no implementation can beat. The benchmark reports the
// measured time as a ratio to that floor ("floor_ratio"; the target is at most 1.10).

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>

#include "bench/FloorClock.h"
#include "dll/Plxcommonunit.h"
#include "dll/keltbitsyncclass2.h"
#include "emulator/VirtualPciBus.h"
#include "platform/clock.h"
#include "platform/process.h"

namespace {

// The longest setup: special commands, firmware 146 with the RNRZ-9 pairs, every output
// disable and quick react: 28 commands.
BitsyncSetup LongestSetup() {
  BitsyncSetup setup{};
  setup.InputSource = 1;
  setup.InputCode = 30;
  setup.OutputCode = 18;
  setup.LoopBandwidth = 3;
  setup.BitRate = 1'024'000;
  setup.NrzlDcOutputDisabledAtSymbolUnlock = 1;
  setup.NrzlDcOutputDisabledAtEsNo5Db = 1;
  setup.PcmEncoderOutputDisabledAtSymbolUnlock = 1;
  setup.PcmEncoderOutputDisabledAtEsNo5Db = 1;
  setup.BerTestingEnabled = 1;
  return setup;
}

void BM_CompleteBitsyncSetup(benchmark::State& state) {
  FloorClock clock;
  platform::ScopedClock scoped(clock);
  platform::SetEnvironmentVariable("ZORV_EMULATE", "benchmark");
  emulator::StartBus(emulator::Scenario{{emulator::CardScenario{}}});
  PCI_CARD_INFO info{};
  P9080_HANDLE handle = nullptr;
  if (P9080_CountCards(0x10B5, 0x9080, 0x0310D1A7, 1, &info) != 1 || !P9080_Open(handle, 0, info)) {
    state.SkipWithError("the emulated card did not open");
    return;
  }
  {
    keltbitsyncclass2 bitsync;
    std::string error_text;
    uint8_t option_20mbit = 0;
    uint8_t option_bert = 0;
    uint32_t high = 0;
    uint32_t low = 0;
    if (!bitsync.InitBitsync(0, true, handle, error_text) ||
        !bitsync.ReadBitsyncConfiguration(option_20mbit, option_bert, high, low)) {
      state.SkipWithError("the emulated bitsync did not open");
    }
    const BitsyncSetup setup = LongestSetup();
    double elapsed_s = 0;
    clock.floor_ms = 0;
    for (auto _ : state) {
      const auto start = std::chrono::steady_clock::now();
      const bool sent = bitsync.SendCompleteBitsyncSetup(setup, 1, error_text);
      const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
      if (!sent) state.SkipWithError(error_text.c_str());
      state.SetIterationTime(took.count());
      elapsed_s += took.count();
    }
    const double floor_s = static_cast<double>(clock.floor_ms) / 1000.0;
    state.counters["commands"] = static_cast<double>(bitsync.Commands().size());
    state.counters["floor_ms"] = floor_s * 1000.0 / static_cast<double>(state.iterations());
    state.counters["floor_ratio"] = floor_s > 0 ? elapsed_s / floor_s : 0.0;
    std::printf("complete setup: %zu commands, ratio to the protocol floor %.3f\n",
                bitsync.Commands().size(), floor_s > 0 ? elapsed_s / floor_s : 0.0);
  }
  P9080_Close(handle);
  emulator::StopBus();
}

BENCHMARK(BM_CompleteBitsyncSetup)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

}  // namespace

BENCHMARK_MAIN();
