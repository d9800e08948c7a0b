// The emulated bitsync module's command language: random register writes, strobes, reads and
// pauses on a module of random configuration, as a faulty host would drive it. The module
// counts what breaks its protocol and never fails; what it keeps for the next power-up is
// taken up again as it was.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>

#include "emulator/BitsyncModule.h"
#include "fuzz/FuzzScratch.h"
#include "platform/clock.h"

namespace {

using emulator::BitsyncModule;
using zorv_fuzz::Check;

enum class Step { kCommand, kStrobe, kControl, kReadStatus, kReadCommand, kPause, kHostCommand };

constexpr int64_t kNanosecondsPerMillisecond = 1'000'000;

emulator::CardScenario RandomCard(FuzzedDataProvider& data) {
  emulator::CardScenario card;
  card.module =
      data.PickValueInArray({emulator::ModuleState::kPresent, emulator::ModuleState::kAbsent,
                             emulator::ModuleState::kStuckBusy, emulator::ModuleState::kSilent});
  card.readback = data.ConsumeBool();
  // The configuration reply decides the firmware and with it the commands the module takes.
  for (uint8_t& byte : card.configuration) byte = data.ConsumeIntegral<uint8_t>();
  card.signal_source = data.ConsumeIntegralInRange(-1, 15);
  card.signal_es_no = data.ConsumeFloatingPointInRange(-10.0, 40.0);
  card.signal_ber = data.ConsumeProbability<double>();
  return card;
}

bool CountsOnlyGrow(const emulator::BitsyncViolations& before,
                    const emulator::BitsyncViolations& after) {
  return after.strobe_while_busy >= before.strobe_while_busy &&
         after.acknowledge_without_reply >= before.acknowledge_without_reply &&
         after.command_not_in_language >= before.command_not_in_language &&
         after.command_while_reply_unread >= before.command_while_reply_unread &&
         after.special_status_in_setup >= before.special_status_in_setup &&
         after.interleaved_transactions >= before.interleaved_transactions;
}

void Strobe(BitsyncModule& module, uint8_t control) {
  module.Write(BitsyncModule::kStatusRegister, control & ~BitsyncModule::kStrobeBit);
  module.Write(BitsyncModule::kStatusRegister, control | BitsyncModule::kStrobeBit);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  // The module's time is the installed clock's; virtual, so that a pause costs nothing.
  static platform::VirtualClock clock;
  static const bool installed = (platform::InstallClock(&clock), true);
  (void)installed;

  FuzzedDataProvider data(bytes, size);
  const emulator::CardScenario card = RandomCard(data);
  BitsyncModule module(card);
  emulator::BitsyncViolations counted = module.Violations();
  while (data.remaining_bytes() > 0) {
    const uint8_t value = data.ConsumeIntegral<uint8_t>();
    switch (data.PickValueInArray({Step::kCommand, Step::kStrobe, Step::kControl, Step::kReadStatus,
                                   Step::kReadCommand, Step::kPause, Step::kHostCommand})) {
      case Step::kCommand:
        module.Write(BitsyncModule::kCommandRegister, value);
        break;
      case Step::kStrobe:
        Strobe(module, value);
        break;
      case Step::kControl:
        module.Write(BitsyncModule::kStatusRegister, value);
        break;
      case Step::kReadStatus:
        module.Read(BitsyncModule::kStatusRegister);
        break;
      case Step::kReadCommand:
        module.Read(BitsyncModule::kCommandRegister);
        break;
      case Step::kPause:
        clock.Advance(int64_t{value} * kNanosecondsPerMillisecond / 10);
        break;
      case Step::kHostCommand:
        // As a careful host sends a command: byte, strobe, then past the busy time.
        module.Write(BitsyncModule::kCommandRegister, value);
        Strobe(module, module.ControlRegister());
        clock.Advance(2 * BitsyncModule::kCommandBusyNanoseconds);
        break;
    }
    const emulator::BitsyncViolations now = module.Violations();
    Check(CountsOnlyGrow(counted, now), "a violation count went down");
    counted = now;
  }

  const emulator::BitsyncKeptState kept = module.Kept();
  BitsyncModule powered_again(card);
  powered_again.Restore(kept);
  Check(powered_again.Kept() == kept, "a module took up its kept state otherwise");
  return 0;
}
