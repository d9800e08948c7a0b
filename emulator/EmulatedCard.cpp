#include "emulator/EmulatedCard.h"

namespace emulator {

namespace {

constexpr uint32_t kCardsPerBus = 8;
constexpr uint32_t kFirstSlot = 8;
constexpr uint32_t kAddressStride = 0x10000;  // memory windows of consecutive cards
constexpr uint32_t kPortStride = 0x200;       // I/O windows of consecutive cards
constexpr uint32_t kPhysicalBase = 0xFE000000;
constexpr uint32_t kKernelBase = 0xE1000000;
constexpr uint32_t kDirectBase = 0x00A00000;
constexpr uint32_t kLocalMemoryOffset = 0x8000;
constexpr uint32_t kPortBase = 0xE000;
constexpr uint32_t kInterruptHandleBase = 0x400;

constexpr uint32_t kBaseAddressRegister0 = 0x10;
constexpr uint32_t kSubsystemRegister = 0x2C;
constexpr uint32_t kInterruptLineRegister = 0x3C;
constexpr uint32_t kIoSpaceBit = 0x1;

}  // namespace

EmulatedCard::EmulatedCard(const CardScenario& scenario, uint32_t position)
    : scenario_(scenario),
      bus_(1 + position / kCardsPerBus),
      slot_(kFirstSlot + position % kCardsPerBus),
      bridge_(scenario),
      bitsync_(scenario),
      irig_(scenario),
      local_memory_(kLocalMemoryBytes, 0) {
  const uint32_t memory = position * kAddressStride;
  const uint32_t port = kPortBase + position * kPortStride;
  using windriver::kResourceIo;
  using windriver::kResourceMemory;
  ranges_[0] = {kResourceMemory,        0,
                kPhysicalBase + memory, PlxBridge::kRegisterBytes,
                kKernelBase + memory,   kDirectBase + memory};
  ranges_[1] = {kResourceIo, 0, port, PlxBridge::kRegisterBytes, 0, 0};
  const uint32_t local = memory + kLocalMemoryOffset;
  ranges_[2] = {kResourceMemory,       0,
                kPhysicalBase + local, kLocalMemoryBytes,
                kKernelBase + local,   kDirectBase + local};
  ranges_[3] = {kResourceIo, 0, port + PlxBridge::kRegisterBytes, kRegisterBytes, 0, 0};
  for (uint32_t space = 0; space < kSpaceCount; ++space) {
    const windriver::ResourceItem& range = ranges_[space];
    const bool is_memory = range.type == kResourceMemory;
    windows_[space] = {is_memory, is_memory ? range.transfer : range.address, range.length};
  }
  const uint32_t interrupt = 5 + position % 11;
  BuildConfigSpace();
  SetConfig32(kInterruptLineRegister, 0x0100 | interrupt);  // pin INTA
  BuildResources(interrupt);
}

void EmulatedCard::BuildConfigSpace() {
  SetConfig32(0x00, static_cast<uint32_t>(DeviceId()) << 16 | kVendorId);
  SetConfig32(0x04, 0x02800003);  // status; command: memory and I/O decoding on
  SetConfig32(0x08, 0x0680000A);  // class "other bridge", revision
  for (uint32_t space = 0; space < kSpaceCount; ++space) {
    const windriver::ResourceItem& range = ranges_[space];
    SetConfig32(kBaseAddressRegister0 + 4 * space,
                range.type == windriver::kResourceIo ? range.address | kIoSpaceBit : range.address);
  }
  SetConfig32(kSubsystemRegister, scenario_.subsystem);
}

void EmulatedCard::BuildResources(uint32_t interrupt) {
  for (uint32_t space = 0; space < kSpaceCount; ++space) {
    resources_.items[space] = ranges_[space];
  }
  resources_.items[kSpaceCount] = {windriver::kResourceInterrupt,    0, interrupt, 0,
                                   kInterruptHandleBase + interrupt, 0};
  resources_.count = kSpaceCount + 1;
}

uint16_t EmulatedCard::DeviceId() const {
  return DeviceIdOf(scenario_.bridge);
}

uint32_t EmulatedCard::ReadConfig(uint32_t offset, uint32_t byte_count) const {
  uint32_t value = 0;
  for (uint32_t i = 0; i < byte_count && i < 4; ++i) {
    const uint64_t at = uint64_t{offset} + i;
    const uint32_t byte = at < kConfigBytes ? config_[at] : 0xFF;
    value |= byte << (8 * i);
  }
  return value;
}

void EmulatedCard::SetConfig32(uint32_t offset, uint32_t value) {
  for (uint32_t i = 0; i < 4 && offset + i < kConfigBytes; ++i) {
    config_[offset + i] = static_cast<uint8_t>(value >> (8 * i));
  }
}

bool EmulatedCard::Claims(bool is_memory, uint32_t address, uint32_t& space,
                          uint32_t& offset) const {
  for (uint32_t s = 0; s < kSpaceCount; ++s) {
    const Window& window = windows_[s];
    if (window.is_memory == is_memory && address >= window.base &&
        address - window.base < window.length) {
      space = s;
      offset = address - window.base;
      return true;
    }
  }
  return false;
}

uint8_t EmulatedCard::ReadSpace(uint32_t space, uint32_t offset) {
  switch (space) {
    case 0:
    case 1:
      return bridge_.Read(offset);
    case 2:
      return offset < local_memory_.size() ? local_memory_[offset] : 0xFF;
    case 3:
      return ReadRegister(offset);
    default:
      return 0xFF;
  }
}

void EmulatedCard::WriteSpace(uint32_t space, uint32_t offset, uint8_t value) {
  switch (space) {
    case 0:
    case 1:
      bridge_.Write(offset, value);
      return;
    case 2:
      if (offset < local_memory_.size()) local_memory_[offset] = value;
      return;
    case 3:
      WriteRegister(offset, value);
      return;
    default:
      return;
  }
}

namespace {

bool IsBitsyncRegister(uint32_t offset) {
  return offset == BitsyncModule::kCommandRegister || offset == BitsyncModule::kStatusRegister;
}

bool IsIrigRegister(uint32_t offset) {
  return offset >= IrigReader::kControlRegister && offset <= IrigReader::kStatusRegister;
}

}  // namespace

// The modules' registers are routed here: the bitsync module at 0x0E and 0x0F, the IRIG
// reader at 0x18 to 0x1F. Everything else, the card number at 0x20 included, is plain.
uint8_t EmulatedCard::ReadRegister(uint32_t offset) {
  offset %= kRegisterBytes;
  if (IsBitsyncRegister(offset)) return bitsync_.Read(offset);
  if (IsIrigRegister(offset)) return irig_.Read(offset);
  return registers_[offset];
}

void EmulatedCard::WriteRegister(uint32_t offset, uint8_t value) {
  offset %= kRegisterBytes;
  if (IsBitsyncRegister(offset)) {
    bitsync_.Write(offset, value);
    return;
  }
  if (IsIrigRegister(offset)) {
    irig_.Write(offset, value);
    return;
  }
  registers_[offset] = value;
}

}  // namespace emulator
