#pragma once
// Card access through the WinDriver requests: the card scan, registration and byte-wide
// register access for cards behind a PCI 9080 or PCI 9056 bridge (the P9080 functions serve
// both). Failures leave a text in the library-wide last-error text; nothing here logs.

#include <array>
#include <cstdint>
#include <string>
#include <type_traits>

#include "dll/KesPlxDriverDevice.h"
#include "driver/KesPlxGenDriverUnit.h"

// Where one card sits and what it offers, as discovery hands it to P9080_Open and the card
// object. All fields are 32-bit; slot is 0xFFFFFFFF in a record no scan has filled.
struct PCI_CARD_INFO {
  static constexpr uint32_t kMaxMemoryRanges = 8;

  uint32_t bus = 0;
  uint32_t slot = 0;
  uint32_t function = 0;
  uint32_t memory_count = 0;
  uint32_t interrupt = 0;
  uint32_t io_address = 0;
  uint32_t io_length = 0;
  uint32_t memory_length[kMaxMemoryRanges] = {};
  uint32_t memory_transfer_address[kMaxMemoryRanges] = {};
  uint32_t memory_direct_address[kMaxMemoryRanges] = {};
  uint32_t memory_physical_address[kMaxMemoryRanges] = {};
};
static_assert(std::is_standard_layout_v<PCI_CARD_INFO>);
static_assert(sizeof(PCI_CARD_INFO) == 156);

// Address space n stands for PCI base address register n (0 to 5); 6 is the expansion ROM.
constexpr uint32_t kAddressSpaceCount = 7;

struct P9080_ADDRESS_SPACE {
  bool active = false;
  uint32_t resource_index = 0;
  bool is_memory = false;
  uint32_t transfer_address = 0;  // memory: the driver's kernel address; I/O: the port
  uint32_t mask = 0;              // all ones below the range's length
};

// The card handle: one per open card, owned by the card object.
struct P9080_STRUCT {
  DriverDevice device;
  uint32_t bus = 0;
  uint32_t slot = 0;
  uint32_t function = 0;
  windriver::ResourceBlock resources;
  uint32_t registration_handle = 0;  // 0 while the card is not registered
  std::array<P9080_ADDRESS_SPACE, kAddressSpaceCount> spaces{};
  uint32_t interrupt_handle = 0;
  uint32_t interrupt_flag = 0;
};
using P9080_HANDLE = P9080_STRUCT*;

// The library-wide last-error text: cleared when a card is opened, read by discovery.
const std::string& P9080_LastErrorText();

// Scans for cards with the vendor and device ID and fills up to max_cards records with those
// carrying the subsystem value that can be registered. Returns the number filled.
uint32_t P9080_CountCards(uint32_t vendor_id, uint32_t device_id, uint32_t subsystem,
                          uint32_t max_cards, PCI_CARD_INFO* cards);

// Registers the card of a handle under construction, builds its address-space table from
// its resources and base address registers, and unregisters it again.
bool P9080_CardIsUsable(P9080_STRUCT& card);

// Opens the card the record describes and keeps it registered. The interrupt flag is only
// recorded: the library never enables interrupts.
bool P9080_Open(P9080_HANDLE& out, uint32_t interrupt_flag, const PCI_CARD_INFO& info);

// Unregisters and closes the card and sets the handle to null; a null handle is left alone.
void P9080_Close(P9080_HANDLE& card);

// A PCI configuration register, read with the byte count its offset has in the header.
uint32_t P9080_ReadPCIReg(P9080_HANDLE card, uint32_t offset);

// Byte access to an address space. An inactive space is not touched: the write does nothing
// and the read gives 0xFF.
uint8_t P9080_ReadByte(P9080_HANDLE card, uint32_t address_space, uint32_t offset);
void P9080_WriteByte(P9080_HANDLE card, uint32_t address_space, uint32_t offset, uint8_t value);
