#include "dll/Plxcommonunit.h"

#include <algorithm>
#include <memory>
#include <new>

namespace wd = windriver;

namespace {

// Made on first use: the library's load handler may run before other static objects exist.
std::string& LastError() {
  static std::string text;
  return text;
}

constexpr uint32_t kSubsystemRegister = 0x2C;
constexpr uint32_t kBaseAddressRegister0 = 0x10;
constexpr uint32_t kExpansionRomRegister = 0x30;
constexpr uint32_t kExpansionRomSpace = 6;
constexpr uint8_t kInactiveSpaceByte = 0xFF;

bool OpenDevice(P9080_STRUCT& card) {
  LastError().clear();
  if (card.device.Open()) return true;
  LastError() = "CountCards() Failed opening WinDriver device\n";
  return false;
}

// Records the card's location and the resources the driver reports for it.
void GetCardInformation(P9080_STRUCT& card, uint32_t bus, uint32_t slot, uint32_t function) {
  wd::Record<wd::GetCardInfo::kSize> record;
  record.Set(wd::GetCardInfo::kBus, bus);
  record.Set(wd::GetCardInfo::kSlot, slot);
  record.Set(wd::GetCardInfo::kFunction, function);
  card.device.Request(wd::kGetCardInfo, record.data(), record.kSize);
  card.bus = bus;
  card.slot = slot;
  card.function = function;
  card.resources = wd::ResourceBlock::Load(record.data() + wd::GetCardInfo::kResources);
}

// Register (lock check off) or unregister with the card's registration record.
int32_t SendRegistration(P9080_STRUCT& card, uint32_t code) {
  wd::Record<wd::RegisterCard::kSize> record;
  card.resources.Store(record.data() + wd::RegisterCard::kResources);
  record.Set(wd::RegisterCard::kCheckOnly, 0);
  record.Set(wd::RegisterCard::kHandle, card.registration_handle);
  const int32_t status = card.device.Request(code, record.data(), record.kSize);
  card.registration_handle = code == wd::kRegisterCard ? record.Get(wd::RegisterCard::kHandle) : 0;
  return status;
}

int32_t RegisterCard(P9080_STRUCT& card) {
  card.registration_handle = 0;
  return SendRegistration(card, wd::kRegisterCard);
}

void UnregisterCard(P9080_STRUCT& card) {
  SendRegistration(card, wd::kUnregisterCard);
}

// The byte count a configuration offset has in the PCI header; other offsets read the
// first two bytes of the header.
void ConfigAccess(uint32_t& offset, uint32_t& byte_count) {
  const bool base_address = offset >= 0x10 && offset <= 0x24 && offset % 4 == 0;
  if (offset == 0x00 || base_address || offset == 0x28 || offset == 0x2C || offset == 0x30) {
    byte_count = 4;
  } else if (offset == 0x02 || offset == 0x04 || offset == 0x06 || offset == 0x2E ||
             offset == 0x3F) {
    byte_count = 2;
  } else if (offset == 0x08 || (offset >= 0x0C && offset <= 0x0F) ||
             (offset >= 0x3C && offset <= 0x3E)) {
    byte_count = 1;
  } else if (offset == 0x09) {
    byte_count = 3;
  } else {
    offset = 0;
    byte_count = 2;
  }
}

uint32_t AddressMask(uint32_t length) {
  uint32_t mask = 0;
  for (uint32_t c = 1; c < length && c != 0x80000000; c <<= 1) mask = mask << 1 | 1;
  return mask;
}

bool BaseAddressMatches(uint32_t base_address, const wd::ResourceItem& item) {
  const bool io_register = (base_address & 0x1) != 0;
  if (item.type == wd::kResourceMemory) {
    return !io_register && item.address == (base_address & ~0xFu);
  }
  return io_register && item.address == (base_address & ~0x3u);
}

// Gives each memory and I/O resource the first free address space whose base address
// register decodes it. Fails on a second interrupt or when no space became active.
bool BuildAddressSpaces(P9080_STRUCT& card) {
  card.spaces = {};
  bool have_interrupt = false;
  for (size_t i = 0; i < card.resources.ItemCount(); ++i) {
    const wd::ResourceItem& item = card.resources.items[i];
    if (item.type == wd::kResourceInterrupt) {
      if (have_interrupt) return false;
      have_interrupt = true;
      card.interrupt_handle = item.transfer;
      continue;
    }
    if (item.type != wd::kResourceMemory && item.type != wd::kResourceIo) continue;
    for (uint32_t n = 0; n < kAddressSpaceCount; ++n) {
      P9080_ADDRESS_SPACE& space = card.spaces[n];
      if (space.active) continue;
      const uint32_t offset =
          n == kExpansionRomSpace ? kExpansionRomRegister : kBaseAddressRegister0 + 4 * n;
      if (!BaseAddressMatches(P9080_ReadPCIReg(&card, offset), item)) continue;
      const bool is_memory = item.type == wd::kResourceMemory;
      space = {true, static_cast<uint32_t>(i), is_memory, is_memory ? item.transfer : item.address,
               AddressMask(item.length)};
      break;
    }
  }
  return std::any_of(card.spaces.begin(), card.spaces.end(),
                     [](const P9080_ADDRESS_SPACE& space) { return space.active; });
}

void FillCardInfo(const P9080_STRUCT& card, PCI_CARD_INFO& info) {
  info.bus = card.bus;
  info.slot = card.slot;
  info.function = card.function;
  for (size_t i = 0; i < card.resources.ItemCount(); ++i) {
    const wd::ResourceItem& item = card.resources.items[i];
    if (item.type == wd::kResourceInterrupt) {
      info.interrupt = item.address;
    } else if (item.type == wd::kResourceIo) {
      info.io_address = item.address;
      info.io_length = item.length;
    } else if (item.type == wd::kResourceMemory) {
      const uint32_t m = info.memory_count++;
      info.memory_length[m] = item.length;
      info.memory_transfer_address[m] = item.transfer;
      info.memory_direct_address[m] = item.direct;
      info.memory_physical_address[m] = item.address;
      if (info.memory_count == PCI_CARD_INFO::kMaxMemoryRanges) break;
    }
  }
}

const P9080_ADDRESS_SPACE* ActiveSpace(P9080_HANDLE card, uint32_t address_space) {
  if (!card || address_space >= kAddressSpaceCount || !card->spaces[address_space].active) {
    return nullptr;
  }
  return &card->spaces[address_space];
}

uint8_t TransferByte(P9080_STRUCT& card, uint32_t command, uint32_t address, uint8_t value) {
  wd::Record<wd::Transfer::kSize> record;
  record.Set(wd::Transfer::kAddress, address);
  record.Set(wd::Transfer::kCommand, command);
  record.Set(wd::Transfer::kByteCount, 1);
  record.Set(wd::Transfer::kAutoIncrement, 1);
  record.Set(wd::Transfer::kOptions, 0);
  record.Set(wd::Transfer::kDataPointer, wd::PointerField(record.data() + wd::Transfer::kData));
  record.Set(wd::Transfer::kData, value);
  card.device.Request(wd::kTransfer, record.data(), record.kSize);
  return record.bytes[wd::Transfer::kData];
}

volatile uint8_t* DirectByte(const P9080_STRUCT& card, const P9080_ADDRESS_SPACE& space,
                             uint32_t offset) {
  const uintptr_t base = card.resources.items[space.resource_index].direct;
  return reinterpret_cast<volatile uint8_t*>(base + offset);
}

}  // namespace

const std::string& P9080_LastErrorText() {
  return LastError();
}

uint32_t P9080_CountCards(uint32_t vendor_id, uint32_t device_id, uint32_t subsystem,
                          uint32_t max_cards, PCI_CARD_INFO* cards) {
  if (!cards) max_cards = 0;
  for (uint32_t i = 0; i < max_cards; ++i) {
    cards[i] = PCI_CARD_INFO{};
    cards[i].slot = 0xFFFFFFFF;
  }
  std::unique_ptr<P9080_STRUCT> card(new (std::nothrow) P9080_STRUCT());
  if (!card || !OpenDevice(*card)) return 0;

  wd::Record<wd::ScanCards::kSize> scan;
  scan.Set(wd::ScanCards::kVendor, vendor_id);
  scan.Set(wd::ScanCards::kDevice, device_id);
  card->device.Request(wd::kScanCards, scan.data(), scan.kSize);
  // The record has room for 100 locations; a larger count is not believed.
  const uint32_t reported =
      std::min<uint32_t>(scan.Get(wd::ScanCards::kCardCount), wd::ScanCards::kMaxCards);
  if (reported == 0) {
    LastError() = "P9080_CountCards->no cards found\n";
    return 0;
  }
  uint32_t count = 0;
  for (uint32_t i = 0; i < reported && count < max_cards; ++i) {
    const size_t location = wd::ScanCards::kLocations + i * wd::ScanCards::kLocationSize;
    GetCardInformation(*card, scan.Get(location), scan.Get(location + 4), scan.Get(location + 8));
    if (P9080_ReadPCIReg(card.get(), kSubsystemRegister) == subsystem &&
        P9080_CardIsUsable(*card)) {
      FillCardInfo(*card, cards[count++]);
    }
  }
  return count;
}

bool P9080_CardIsUsable(P9080_STRUCT& card) {
  if (RegisterCard(card) != 0) {
    LastError() = "P9080_CardIsUsable->Failed Card Register.\n";
    return false;
  }
  if (card.registration_handle == 0) {
    LastError() = "P9080_CardIsUsable->Failed locking device.\n";
    return false;
  }
  const bool usable = BuildAddressSpaces(card);
  if (!usable) {
    LastError() = "P9080_CardIsUsable->Card does not have all items expected for the card\n";
  }
  UnregisterCard(card);
  return usable;
}

bool P9080_Open(P9080_HANDLE& out, uint32_t interrupt_flag, const PCI_CARD_INFO& info) {
  out = nullptr;
  LastError().clear();
  std::unique_ptr<P9080_STRUCT> card(new (std::nothrow) P9080_STRUCT());
  if (!card || !OpenDevice(*card)) return false;
  GetCardInformation(*card, info.bus, info.slot, info.function);
  if (!P9080_CardIsUsable(*card)) return false;
  card->interrupt_flag = interrupt_flag;
  RegisterCard(*card);  // kept for the life of the handle
  out = card.release();
  return true;
}

void P9080_Close(P9080_HANDLE& card) {
  if (!card) return;
  if (card->registration_handle != 0) UnregisterCard(*card);
  card->device.Close();
  delete card;
  card = nullptr;
}

uint32_t P9080_ReadPCIReg(P9080_HANDLE card, uint32_t offset) {
  if (!card) return 0;
  uint32_t byte_count = 0;
  ConfigAccess(offset, byte_count);
  wd::Record<wd::ReadPciConfig::kSize> record;
  record.Set(wd::ReadPciConfig::kBus, card->bus);
  record.Set(wd::ReadPciConfig::kSlot, card->slot);
  record.Set(wd::ReadPciConfig::kFunction, card->function);
  record.Set(wd::ReadPciConfig::kResultPointer,
             wd::PointerField(record.data() + wd::ReadPciConfig::kResult));
  record.Set(wd::ReadPciConfig::kOffset, offset);
  record.Set(wd::ReadPciConfig::kByteCount, byte_count);
  record.Set(wd::ReadPciConfig::kReadFlag, 1);
  card->device.Request(wd::kReadPciConfig, record.data(), record.kSize);
  return record.Get(wd::ReadPciConfig::kResult);
}

uint8_t P9080_ReadByte(P9080_HANDLE card, uint32_t address_space, uint32_t offset) {
  const P9080_ADDRESS_SPACE* space = ActiveSpace(card, address_space);
  if (!space) return kInactiveSpaceByte;
  if (space->is_memory && card->device.DirectAddressesUsable()) {
    return *DirectByte(*card, *space, offset);
  }
  return TransferByte(*card, space->is_memory ? wd::kReadMemByte : wd::kReadIoByte,
                      space->transfer_address + offset, 0);
}

void P9080_WriteByte(P9080_HANDLE card, uint32_t address_space, uint32_t offset, uint8_t value) {
  const P9080_ADDRESS_SPACE* space = ActiveSpace(card, address_space);
  if (!space) return;
  if (space->is_memory && card->device.DirectAddressesUsable()) {
    *DirectByte(*card, *space, offset) = value;
    return;
  }
  TransferByte(*card, space->is_memory ? wd::kWriteMemByte : wd::kWriteIoByte,
               space->transfer_address + offset, value);
}
