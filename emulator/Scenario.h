#pragma once
// What the emulated bus holds: the cards and, per card, its bridge, EEPROM, module and
// signals. Read from ZORV_EMULATE (a card count or a scenario file in the profile format).

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace emulator {

enum class BridgeType { k9080, k9056 };
enum class Usable { kYes, kNo, kScanOnly };
// kHangsAfterConfiguration: as present until its configuration reply (0xED) was read to the
// end; the next command makes it busy for good, as kStuckBusy.
enum class ModuleState { kPresent, kAbsent, kStuckBusy, kSilent, kHangsAfterConfiguration };

// When the signal is on its input, in module time (nanoseconds since the bus was built): steps
// of a cycle that starts again after the last one. No step: on all along.
struct SignalStep {
  bool on = true;
  int64_t nanoseconds = 0;
};
struct SignalSchedule {
  std::vector<SignalStep> steps;

  bool On(int64_t now) const;
  // The first time after `now` at which the signal comes or goes; INT64_MAX when it never does.
  int64_t NextChange(int64_t now) const;
};

// "on 5, off 2, on 10": on or off (any case) and seconds above 0, comma-separated. False for
// anything else, leaving `schedule` as it was.
bool ParseSignalSchedule(const std::string& text, SignalSchedule& schedule);

struct CardScenario {
  BridgeType bridge = BridgeType::k9080;
  uint32_t subsystem = 0x0310D1A7;
  std::array<uint16_t, 3> eeprom_abc = {0xFFFE, 0x0008, 0x0000};  // words 10, 11, 12
  Usable usable = Usable::kYes;
  ModuleState module = ModuleState::kPresent;
  bool readback = true;
  std::array<uint8_t, 6> configuration = {0x00, 0x00, 0x4E, 0x0A, 0x03, 0x92};
  int signal_source = 1;  // -1: no signal on any input
  double signal_bit_rate = 1024000.0;
  double signal_es_no = 15.0;
  double signal_voltage = 1.5;
  double signal_ber = 0.0;
  bool irig_signal = true;
  SignalSchedule signal_schedule = {};
};

struct Scenario {
  std::vector<CardScenario> cards;
};

constexpr int kMaxEmulatedCards = 16;

// Parses the value of ZORV_EMULATE: a card count 0 to 16, or the path of a scenario file.
// Nothing when it cannot be used: then each problem is in `problems`, one line naming the file,
// section and key ("/tmp/s.ini: [Card1] Bridge=9081: expected 9080 or 9056"). A scenario file
// may hold no other section than [Bus] and [Card0] up to the last card, and no other key than
// theirs.
std::optional<Scenario> ParseScenario(const std::string& emulate_value,
                                      std::vector<std::string>& problems);

}  // namespace emulator
