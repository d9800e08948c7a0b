#pragma once
// The PCI bridge's local configuration registers as the card's address spaces 0 (memory) and
// 1 (I/O) show them: a byte register file with the serial EEPROM's control byte at 0x6F and
// the bridge's vendor and device ID at 0x70 to 0x73 (so the identity byte at 0x72 is 0x56 on
// a 9056 and 0x80 on a 9080).

#include <array>
#include <cstdint>

#include "emulator/Scenario.h"
#include "emulator/SerialEeprom.h"

namespace emulator {

class PlxBridge {
 public:
  static constexpr uint32_t kRegisterBytes = 0x100;
  static constexpr uint32_t kEepromControl = 0x6F;
  static constexpr uint32_t kIdentity = 0x72;

  explicit PlxBridge(const CardScenario& scenario);

  uint8_t Read(uint32_t offset);
  void Write(uint32_t offset, uint8_t value);

  SerialEeprom& eeprom() { return eeprom_; }
  const SerialEeprom& eeprom() const { return eeprom_; }

 private:
  std::array<uint8_t, kRegisterBytes> registers_{};
  SerialEeprom eeprom_;
};

// The EEPROM words that hold the bridge's mode (A, B, C in the library's log).
constexpr uint32_t kEepromWordA = 10;

uint16_t DeviceIdOf(BridgeType bridge);

}  // namespace emulator
