#pragma once
// Emulated cards keep their programming from one run of a program to the next, as powered
// cards do: a bus built from a ZORV_EMULATE value leaves each card's bitsync module and IRIG
// reader state in a small file of that value as it stops, and the next bus built from the same
// value takes it up. ZORV_EMULATE_FRESH=1 gives cards as they power up and keeps nothing.

#include <string>

namespace emulator {

class VirtualPciBus;

inline constexpr const char* kFreshVariable = "ZORV_EMULATE_FRESH";

// True when ZORV_EMULATE_FRESH=1.
bool EmulatedCardsStartFresh();

// The state file of a ZORV_EMULATE value, in the user's runtime folder: named after the card
// count, or after the scenario file (its name and a digest of its full path, so that two
// scenarios of one name stay apart). Empty when the user has no runtime folder.
std::string CardStateFilePath(const std::string& emulate_value);

// Gives the bus's cards what the file holds for them; a card the file does not describe (or a
// damaged entry) stays as it powers up.
void RestoreCardStates(VirtualPciBus& bus, const std::string& path);
// Replaces the file with the state of every card of the bus; false when it cannot be written.
bool KeepCardStates(VirtualPciBus& bus, const std::string& path);

}  // namespace emulator
