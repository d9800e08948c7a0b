#include "emulator/PlxBridge.h"

namespace emulator {

namespace {

constexpr uint32_t kIdRegister = 0x70;  // vendor ID, then device ID
constexpr uint32_t kIdBytes = 4;
constexpr int kAddressBits9080 = 6;  // 93C46 behind a 9080
constexpr int kAddressBits9056 = 8;  // 93C56/66 behind a 9056

bool IsIdRegister(uint32_t offset) {
  return offset >= kIdRegister && offset < kIdRegister + kIdBytes;
}

}  // namespace

uint16_t DeviceIdOf(BridgeType bridge) {
  return bridge == BridgeType::k9056 ? 0x9056 : 0x9080;
}

PlxBridge::PlxBridge(const CardScenario& scenario)
    : eeprom_(scenario.bridge == BridgeType::k9056 ? kAddressBits9056 : kAddressBits9080) {
  const uint16_t device_id = DeviceIdOf(scenario.bridge);
  registers_[kIdRegister] = 0xB5;
  registers_[kIdRegister + 1] = 0x10;
  registers_[kIdRegister + 2] = static_cast<uint8_t>(device_id);
  registers_[kIdRegister + 3] = static_cast<uint8_t>(device_id >> 8);
  for (uint32_t i = 0; i < scenario.eeprom_abc.size(); ++i) {
    eeprom_.SetWord(kEepromWordA + i, scenario.eeprom_abc[i]);
  }
}

uint8_t PlxBridge::Read(uint32_t offset) {
  offset %= kRegisterBytes;
  if (offset == kEepromControl) return eeprom_.ReadControl();
  return registers_[offset];
}

void PlxBridge::Write(uint32_t offset, uint8_t value) {
  offset %= kRegisterBytes;
  if (offset == kEepromControl) {
    eeprom_.WriteControl(value);
  } else if (!IsIdRegister(offset)) {
    registers_[offset] = value;
  }
}

}  // namespace emulator
