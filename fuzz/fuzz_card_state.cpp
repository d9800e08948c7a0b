// Emulated cards' state files, as a damaged or hand-edited file gives them: random file bytes
// taken up by a bus of emulated cards, which then keeps its state in a new file; a second bus
// takes that up and keeps the same. The clock is virtual, so no time passes in between.

#include <cstdint>
#include <string>
#include <string_view>

#include "emulator/CardStateFile.h"
#include "emulator/VirtualPciBus.h"
#include "fuzz/FuzzScratch.h"
#include "platform/clock.h"

namespace {

constexpr size_t kCards = 3;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  static platform::VirtualClock clock;
  static const bool installed = (platform::InstallClock(&clock), true);
  (void)installed;

  const std::string damaged = zorv_fuzz::ScratchPath("damaged.state");
  const std::string kept = zorv_fuzz::ScratchPath("kept.state");
  const std::string kept_again = zorv_fuzz::ScratchPath("kept-again.state");
  zorv_fuzz::WriteFileBytes(damaged, std::string_view(reinterpret_cast<const char*>(bytes), size));
  emulator::Scenario scenario;
  scenario.cards.resize(kCards);
  {
    emulator::VirtualPciBus bus(scenario);
    emulator::RestoreCardStates(bus, damaged);
    zorv_fuzz::Check(emulator::KeepCardStates(bus, kept), "the state was not kept");
  }
  emulator::VirtualPciBus bus(scenario);
  emulator::RestoreCardStates(bus, kept);
  zorv_fuzz::Check(emulator::KeepCardStates(bus, kept_again), "the state was not kept again");
  zorv_fuzz::Check(zorv_fuzz::ReadFileBytes(kept_again) == zorv_fuzz::ReadFileBytes(kept),
                   "a kept state was taken up otherwise");
  return 0;
}
