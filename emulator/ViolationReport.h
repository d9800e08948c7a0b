#pragma once
// The bus's protocol-violation totals as a profile file, for tests that drive the library
// through its exports and cannot reach the bus inside it. When ZORV_EMULATOR_REPORT names a
// file, the bus writes the report there as it stops (with the library's unload):
//   [Bus]    Cards, Refused (requests the bus refused), LastRefused (the last one's reason)
//   [CardN]  Eeprom, Bitsync, Irig (each part's violation count) for every card N

#include <string>

namespace emulator {

class VirtualPciBus;

inline constexpr const char* kReportVariable = "ZORV_EMULATOR_REPORT";

// Replaces the file with the report; false when it cannot be written.
bool WriteViolationReport(VirtualPciBus& bus, const std::string& path);

}  // namespace emulator
