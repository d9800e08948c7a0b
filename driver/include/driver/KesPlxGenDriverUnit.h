#pragma once
// The WinDriver kernel driver's requests and records, byte for byte. Every field is a 32-bit
// little-endian value at a fixed offset, read and written through explicit packing so that
// the layout never depends on the compiler or the host. The emulated bus answers on these
// same records, so both sides share this header.
//
// Two records carry a pointer to the datum the driver fills or takes (the PCI configuration
// result, the transferred byte). The datum lives in a spare field of the record itself and
// the pointer field holds its address: a 32-bit driver writes through the pointer into the
// record, and the emulated bus, which is handed the record, uses the spare field directly.

#include <array>
#include <cstddef>
#include <cstdint>

namespace windriver {

// Request codes.
inline constexpr uint32_t kScanCards = 0x9538268F;
inline constexpr uint32_t kGetCardInfo = 0x9538243F;
inline constexpr uint32_t kRegisterCard = 0x953826AF;
inline constexpr uint32_t kUnregisterCard = 0x953824AF;
inline constexpr uint32_t kReadPciConfig = 0x9538246B;
inline constexpr uint32_t kTransfer = 0x95382633;

// Transfer commands: byte, word and dword reads and writes on I/O and memory spaces.
inline constexpr uint32_t kReadIoByte = 20;
inline constexpr uint32_t kReadIoWord = 21;
inline constexpr uint32_t kReadIoDword = 22;
inline constexpr uint32_t kWriteIoByte = 23;
inline constexpr uint32_t kWriteIoWord = 24;
inline constexpr uint32_t kWriteIoDword = 25;
inline constexpr uint32_t kReadMemByte = 40;
inline constexpr uint32_t kReadMemWord = 41;
inline constexpr uint32_t kReadMemDword = 42;
inline constexpr uint32_t kWriteMemByte = 43;
inline constexpr uint32_t kWriteMemWord = 44;
inline constexpr uint32_t kWriteMemDword = 45;

// Resource types.
inline constexpr uint32_t kResourceInterrupt = 1;
inline constexpr uint32_t kResourceMemory = 2;
inline constexpr uint32_t kResourceIo = 3;

inline uint32_t Field(const uint8_t* record, size_t offset) {
  const uint8_t* p = record + offset;
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

inline void SetField(uint8_t* record, size_t offset, uint32_t value) {
  uint8_t* p = record + offset;
  p[0] = static_cast<uint8_t>(value);
  p[1] = static_cast<uint8_t>(value >> 8);
  p[2] = static_cast<uint8_t>(value >> 16);
  p[3] = static_cast<uint8_t>(value >> 24);
}

// The value a pointer field holds: the datum's address as the 32-bit driver reads it.
inline uint32_t PointerField(const void* datum) {
  return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(datum));
}

// One request's record: zeroed bytes with little-endian field access.
template <size_t N>
struct Record {
  static constexpr size_t kSize = N;
  std::array<uint8_t, N> bytes{};

  uint32_t Get(size_t offset) const { return Field(bytes.data(), offset); }
  void Set(size_t offset, uint32_t value) { SetField(bytes.data(), offset, value); }
  uint8_t* data() { return bytes.data(); }
};

// Resource item, 40 bytes. Memory: physical address, length, kernel transfer address and
// user-mode direct address. I/O: port address and length. Interrupt: number and handle.
struct ResourceItem {
  static constexpr size_t kSize = 40;
  static constexpr size_t kType = 0;
  static constexpr size_t kNotSharable = 4;
  static constexpr size_t kAddress = 16;   // physical address, port or interrupt number
  static constexpr size_t kLength = 20;    // memory and I/O
  static constexpr size_t kTransfer = 24;  // memory: kernel address; interrupt: handle
  static constexpr size_t kDirect = 28;    // memory: user-mode direct address

  uint32_t type = 0;
  uint32_t not_sharable = 0;
  uint32_t address = 0;
  uint32_t length = 0;
  uint32_t transfer = 0;
  uint32_t direct = 0;

  static ResourceItem Load(const uint8_t* bytes) {
    return {Field(bytes, kType),   Field(bytes, kNotSharable), Field(bytes, kAddress),
            Field(bytes, kLength), Field(bytes, kTransfer),    Field(bytes, kDirect)};
  }
  void Store(uint8_t* bytes) const {
    SetField(bytes, kType, type);
    SetField(bytes, kNotSharable, not_sharable);
    SetField(bytes, kAddress, address);
    SetField(bytes, kLength, length);
    SetField(bytes, kTransfer, transfer);
    SetField(bytes, kDirect, direct);
  }
  bool operator==(const ResourceItem&) const = default;
};

// Resource block, 804 bytes: the item count, then 20 items.
struct ResourceBlock {
  static constexpr size_t kSize = 804;
  static constexpr size_t kCount = 0;
  static constexpr size_t kItems = 4;
  static constexpr size_t kMaxItems = 20;

  uint32_t count = 0;  // as the driver reported it; ItemCount() is the usable part
  std::array<ResourceItem, kMaxItems> items{};

  // The items the block really holds: a count past the block's room is cut.
  size_t ItemCount() const { return count < kMaxItems ? count : kMaxItems; }

  static ResourceBlock Load(const uint8_t* bytes) {
    ResourceBlock block;
    block.count = Field(bytes, kCount);
    for (size_t i = 0; i < kMaxItems; ++i) {
      block.items[i] = ResourceItem::Load(bytes + kItems + i * ResourceItem::kSize);
    }
    return block;
  }
  void Store(uint8_t* bytes) const {
    SetField(bytes, kCount, count);
    for (size_t i = 0; i < kMaxItems; ++i) {
      items[i].Store(bytes + kItems + i * ResourceItem::kSize);
    }
  }
  bool operator==(const ResourceBlock&) const = default;
};
static_assert(ResourceItem::kDirect + 4 <= ResourceItem::kSize);
static_assert(ResourceBlock::kItems + ResourceBlock::kMaxItems * ResourceItem::kSize ==
              ResourceBlock::kSize);

// Scan cards: vendor and device ID in; the number of cards, their IDs and locations out.
struct ScanCards {
  static constexpr size_t kSize = 2016;
  static constexpr size_t kVendor = 0;
  static constexpr size_t kDevice = 4;
  static constexpr size_t kCardCount = 8;
  static constexpr size_t kIds = 12;  // vendor/device pair per card, 8 bytes each
  static constexpr size_t kLocations = 812;
  static constexpr size_t kLocationSize = 12;  // bus, slot, function
  static constexpr size_t kMaxCards = 100;
};
static_assert(ScanCards::kIds + ScanCards::kMaxCards * 8 == ScanCards::kLocations);
static_assert(ScanCards::kLocations + ScanCards::kMaxCards * ScanCards::kLocationSize <=
              ScanCards::kSize);

// Get card information: the location in, the resource block out.
struct GetCardInfo {
  static constexpr size_t kSize = 816;
  static constexpr size_t kBus = 0;
  static constexpr size_t kSlot = 4;
  static constexpr size_t kFunction = 8;
  static constexpr size_t kResources = 12;
};
static_assert(GetCardInfo::kResources + ResourceBlock::kSize == GetCardInfo::kSize);

// Register and unregister card: the resource block, the lock-check-only flag and the handle.
struct RegisterCard {
  static constexpr size_t kSize = 948;
  static constexpr size_t kResources = 0;
  static constexpr size_t kCheckOnly = 804;
  static constexpr size_t kHandle = 808;
};
static_assert(RegisterCard::kResources + ResourceBlock::kSize == RegisterCard::kCheckOnly);

// Read PCI configuration: location, pointer to the result, offset, byte count, read flag.
struct ReadPciConfig {
  static constexpr size_t kSize = 32;
  static constexpr size_t kBus = 0;
  static constexpr size_t kSlot = 4;
  static constexpr size_t kFunction = 8;
  static constexpr size_t kResultPointer = 12;
  static constexpr size_t kOffset = 16;
  static constexpr size_t kByteCount = 20;
  static constexpr size_t kReadFlag = 24;
  static constexpr size_t kResult = 28;  // spare field holding the result
};
static_assert(ReadPciConfig::kResult + 4 == ReadPciConfig::kSize);

// Transfer: one datum to or from an address of an I/O or memory space.
struct Transfer {
  static constexpr size_t kSize = 32;
  static constexpr size_t kAddress = 0;
  static constexpr size_t kCommand = 4;
  static constexpr size_t kByteCount = 8;
  static constexpr size_t kAutoIncrement = 12;
  static constexpr size_t kOptions = 16;
  static constexpr size_t kDataPointer = 24;
  static constexpr size_t kData = 28;  // spare field holding the byte
};
static_assert(Transfer::kData + 4 == Transfer::kSize);

}  // namespace windriver
