#pragma once
// One emulated card: its PCI configuration space and location, the resources the driver
// reports for it, and what answers in its address spaces:
//   space 0 (memory) and 1 (I/O): the bridge's registers (PlxBridge, with the serial EEPROM);
//   space 2 (memory): the bridge's local space 0, plain memory;
//   space 3 (I/O): the card's local byte registers. The card number at 0x20 is a plain
//   byte; the modules are constructed from the card's scenario and own their offsets
//   (ReadRegister / WriteRegister route them).

#include <array>
#include <cstdint>
#include <vector>

#include "driver/KesPlxGenDriverUnit.h"
#include "emulator/BitsyncModule.h"
#include "emulator/IrigReader.h"
#include "emulator/PlxBridge.h"
#include "emulator/Scenario.h"

namespace emulator {

class EmulatedCard {
 public:
  static constexpr uint32_t kVendorId = 0x10B5;
  static constexpr uint32_t kSpaceCount = 4;
  static constexpr uint32_t kLocalMemoryBytes = 0x1000;
  static constexpr uint32_t kRegisterBytes = 0x100;
  static constexpr uint32_t kCardNumberRegister = 0x20;
  static constexpr uint32_t kConfigBytes = 0x100;

  // position: the card's place in the bus scan order; it decides location and addresses.
  EmulatedCard(const CardScenario& scenario, uint32_t position);

  const CardScenario& scenario() const { return scenario_; }
  uint16_t DeviceId() const;
  uint32_t Bus() const { return bus_; }
  uint32_t Slot() const { return slot_; }
  uint32_t Function() const { return 0; }

  // Little-endian bytes of the configuration space; bytes past its end read 0xFF.
  uint32_t ReadConfig(uint32_t offset, uint32_t byte_count) const;
  // Tests reshape a card with these (a base address register, the reported resources).
  void SetConfig32(uint32_t offset, uint32_t value);
  windriver::ResourceBlock& Resources() { return resources_; }
  const windriver::ResourceBlock& Resources() const { return resources_; }

  // Finds the address space a transfer address falls in (memory: the kernel address; I/O:
  // the port) and the offset inside it.
  bool Claims(bool is_memory, uint32_t address, uint32_t& space, uint32_t& offset) const;
  uint8_t ReadSpace(uint32_t space, uint32_t offset);
  void WriteSpace(uint32_t space, uint32_t offset, uint8_t value);

  // Address space 3.
  uint8_t ReadRegister(uint32_t offset);
  void WriteRegister(uint32_t offset, uint8_t value);

  PlxBridge& bridge() { return bridge_; }
  BitsyncModule& bitsync() { return bitsync_; }
  IrigReader& irig() { return irig_; }

 private:
  struct Window {
    bool is_memory = false;
    uint32_t base = 0;  // kernel transfer address or port
    uint32_t length = 0;
  };

  void BuildConfigSpace();
  void BuildResources(uint32_t interrupt);

  CardScenario scenario_;
  uint32_t bus_ = 0;
  uint32_t slot_ = 0;
  std::array<uint8_t, kConfigBytes> config_{};
  std::array<windriver::ResourceItem, kSpaceCount> ranges_{};  // spaces 0 to 3 as reported
  std::array<Window, kSpaceCount> windows_{};
  windriver::ResourceBlock resources_;
  PlxBridge bridge_;
  BitsyncModule bitsync_;
  IrigReader irig_;
  std::vector<uint8_t> local_memory_;
  std::array<uint8_t, kRegisterBytes> registers_{};
};

}  // namespace emulator
