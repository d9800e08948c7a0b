// Card scan, registration, configuration reads and byte access over the driver seam, against
// the emulated bus (and against no driver at all).

#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "dll/Plxcommonunit.h"
#include "tests/dll/EmulatedCardFixture.h"

namespace {

using emulator::BridgeType;
using emulator::CardScenario;
using emulator::Usable;

constexpr uint32_t kVendor = 0x10B5;
constexpr uint32_t kSubsystem = 0x0310D1A7;
constexpr uint32_t kNoSlot = 0xFFFFFFFF;

CardScenario Card(BridgeType bridge) {
  CardScenario card;
  card.bridge = bridge;
  return card;
}

class PciAccess : public ::testing::Test {
 protected:
  emulator::VirtualPciBus& Emulate(const std::vector<CardScenario>& cards) {
    emulated_.emplace(emulator::Scenario{cards});
    return emulated_->bus();
  }
  emulator::VirtualPciBus& bus() { return emulated_->bus(); }

  // Counts 9080 cards into the records, which start out marked so untouched ones show.
  uint32_t Count9080(uint32_t max_cards) {
    for (PCI_CARD_INFO& record : records_) record.bus = 0xBAD;
    return P9080_CountCards(kVendor, 0x9080, kSubsystem, max_cards, records_.data());
  }

  void TearDown() override {
    P9080_Close(handle_);
    if (emulated_) {
      EXPECT_EQ(bus().ProtocolErrors(), 0) << bus().LastProtocolError();
      EXPECT_EQ(bus().RegistrationCount(), 0u);
    }
  }

  platform::VirtualClock clock_;
  platform::ScopedClock scoped_clock_{clock_};
  std::optional<zorv_test::ScopedEmulatedBus> emulated_;
  std::array<PCI_CARD_INFO, 16> records_{};
  P9080_HANDLE handle_ = nullptr;
};

TEST_F(PciAccess, WithoutEmulationThereIsNoDriver) {
  zorv_test::ScopedEmulateValue off("");
  EXPECT_EQ(Count9080(2), 0u);
  EXPECT_EQ(P9080_LastErrorText(), "CountCards() Failed opening WinDriver device\n");
  EXPECT_EQ(records_[0].slot, kNoSlot);
  EXPECT_EQ(records_[1].slot, kNoSlot);

  PCI_CARD_INFO info{};
  P9080_STRUCT stale;
  P9080_HANDLE handle = &stale;  // Open must null it whatever it held
  EXPECT_FALSE(P9080_Open(handle, 0, info));
  EXPECT_EQ(handle, nullptr);
  EXPECT_EQ(P9080_LastErrorText(), "CountCards() Failed opening WinDriver device\n");
}

TEST_F(PciAccess, CountsOneBridgeTypeInScanOrder) {
  Emulate({Card(BridgeType::k9080), Card(BridgeType::k9056), Card(BridgeType::k9080),
           Card(BridgeType::k9056), Card(BridgeType::k9080)});
  ASSERT_EQ(Count9080(8), 3u);
  EXPECT_EQ(records_[0].slot, bus().Card(0).Slot());
  EXPECT_EQ(records_[1].slot, bus().Card(2).Slot());
  EXPECT_EQ(records_[2].slot, bus().Card(4).Slot());
  for (size_t i = 3; i < 8; ++i) EXPECT_EQ(records_[i].slot, kNoSlot) << i;
  EXPECT_EQ(records_[8].bus, 0xBADu) << "records past the maximum are not touched";

  ASSERT_EQ(P9080_CountCards(kVendor, 0x9056, kSubsystem, 2, records_.data()), 2u);
  EXPECT_EQ(records_[0].slot, bus().Card(1).Slot());
  EXPECT_EQ(records_[1].slot, bus().Card(3).Slot());
}

TEST_F(PciAccess, RecordCarriesTheCardsResources) {
  Emulate({Card(BridgeType::k9080), Card(BridgeType::k9080)});
  ASSERT_EQ(Count9080(2), 2u);
  const emulator::EmulatedCard& card = bus().Card(1);
  const windriver::ResourceBlock& resources = card.Resources();
  const PCI_CARD_INFO& info = records_[1];
  EXPECT_EQ(info.bus, card.Bus());
  EXPECT_EQ(info.slot, card.Slot());
  EXPECT_EQ(info.function, card.Function());
  ASSERT_EQ(info.memory_count, 2u);
  // Items 0 and 2 are the memory ranges, 1 and 3 the I/O ranges, 4 the interrupt.
  for (uint32_t m = 0; m < 2; ++m) {
    const windriver::ResourceItem& memory = resources.items[2 * m];
    EXPECT_EQ(info.memory_length[m], memory.length);
    EXPECT_EQ(info.memory_transfer_address[m], memory.transfer);
    EXPECT_EQ(info.memory_direct_address[m], memory.direct);
    EXPECT_EQ(info.memory_physical_address[m], memory.address);
  }
  EXPECT_EQ(info.io_address, resources.items[3].address) << "the last I/O range counts";
  EXPECT_EQ(info.io_length, resources.items[3].length);
  EXPECT_EQ(info.interrupt, resources.items[4].address);
}

TEST_F(PciAccess, SkipsOtherSubsystemsAndCardsThatCannotBeLocked) {
  CardScenario test_subsystem = Card(BridgeType::k9080);
  test_subsystem.subsystem = 0x0610D1A7;
  CardScenario locked = Card(BridgeType::k9080);
  locked.usable = Usable::kNo;
  CardScenario scan_only = Card(BridgeType::k9080);
  scan_only.usable = Usable::kScanOnly;
  Emulate({Card(BridgeType::k9080), test_subsystem, locked, Card(BridgeType::k9080), scan_only});

  ASSERT_EQ(Count9080(8), 3u);
  EXPECT_EQ(records_[0].slot, bus().Card(0).Slot());
  EXPECT_EQ(records_[1].slot, bus().Card(3).Slot());
  EXPECT_EQ(records_[2].slot, bus().Card(4).Slot());

  // The scan-only card registered during the scan but refuses a later open.
  EXPECT_FALSE(P9080_Open(handle_, 0, records_[2]));
  EXPECT_EQ(handle_, nullptr);
  EXPECT_EQ(P9080_LastErrorText(), "P9080_CardIsUsable->Failed locking device.\n");
}

TEST_F(PciAccess, StopsAtTheMaximum) {
  Emulate(std::vector<CardScenario>(10));
  EXPECT_EQ(Count9080(8), 8u);
  EXPECT_EQ(records_[7].slot, bus().Card(7).Slot());
  EXPECT_EQ(Count9080(0), 0u);
  EXPECT_EQ(records_[0].bus, 0xBADu);
}

TEST_F(PciAccess, EmptyBusFindsNoCards) {
  Emulate({});
  EXPECT_EQ(Count9080(8), 0u);
  EXPECT_EQ(P9080_LastErrorText(), "P9080_CountCards->no cards found\n");
}

TEST_F(PciAccess, CardsWithoutTheExpectedItemsAreNotUsable) {
  struct Case {
    const char* name;
    void (*reshape)(emulator::EmulatedCard& card);
  };
  const Case cases[] = {
      {"no base address register decodes a range",
       [](emulator::EmulatedCard& card) {
         for (uint32_t offset = 0x10; offset <= 0x24; offset += 4) card.SetConfig32(offset, 0);
       }},
      {"a second interrupt",
       [](emulator::EmulatedCard& card) {
         windriver::ResourceBlock& resources = card.Resources();
         resources.items[resources.count] = resources.items[resources.count - 1];
         ++resources.count;
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Emulate({Card(BridgeType::k9080)});
    c.reshape(bus().Card(0));
    EXPECT_EQ(Count9080(1), 0u);
    EXPECT_EQ(P9080_LastErrorText(),
              "P9080_CardIsUsable->Card does not have all items expected for the card\n");
    EXPECT_EQ(bus().RegistrationCount(), 0u) << "unregistered after the failed check";
  }
}

TEST_F(PciAccess, OpenBuildsTheAddressSpacesAndKeepsTheCardRegistered) {
  Emulate({Card(BridgeType::k9080)});
  ASSERT_EQ(Count9080(1), 1u);
  ASSERT_TRUE(P9080_Open(handle_, 0, records_[0]));
  EXPECT_EQ(bus().RegistrationCount(), 1u);
  EXPECT_NE(handle_->registration_handle, 0u);

  struct Space {
    bool active;
    bool is_memory;
    uint32_t mask;
  };
  const Space expected[kAddressSpaceCount] = {
      {true, true, 0xFF}, {true, false, 0xFF}, {true, true, 0xFFF}, {true, false, 0xFF},
      {false, false, 0},  {false, false, 0},   {false, false, 0}};
  const windriver::ResourceBlock& resources = bus().Card(0).Resources();
  for (uint32_t n = 0; n < kAddressSpaceCount; ++n) {
    SCOPED_TRACE(n);
    const P9080_ADDRESS_SPACE& space = handle_->spaces[n];
    EXPECT_EQ(space.active, expected[n].active);
    if (!space.active) continue;
    EXPECT_EQ(space.resource_index, n);
    EXPECT_EQ(space.is_memory, expected[n].is_memory);
    EXPECT_EQ(space.mask, expected[n].mask);
    const windriver::ResourceItem& item = resources.items[n];
    EXPECT_EQ(space.transfer_address, space.is_memory ? item.transfer : item.address);
  }
  EXPECT_EQ(handle_->interrupt_handle, resources.items[4].transfer);

  P9080_Close(handle_);
  EXPECT_EQ(handle_, nullptr);
  EXPECT_EQ(bus().RegistrationCount(), 0u);
  P9080_Close(handle_);  // a null handle is left alone
}

TEST_F(PciAccess, ByteAccessReachesEveryActiveAddressSpace) {
  for (const BridgeType bridge : {BridgeType::k9080, BridgeType::k9056}) {
    const uint8_t identity = bridge == BridgeType::k9056 ? 0x56 : 0x80;
    const uint32_t device = bridge == BridgeType::k9056 ? 0x9056 : 0x9080;
    Emulate({Card(bridge)});
    ASSERT_EQ(P9080_CountCards(kVendor, device, kSubsystem, 1, records_.data()), 1u);
    ASSERT_TRUE(P9080_Open(handle_, 0, records_[0]));
    emulator::EmulatedCard& card = bus().Card(0);

    // The bridge's registers through I/O (space 1) and memory (space 0, Transfer 40/43).
    EXPECT_EQ(P9080_ReadByte(handle_, 1, 0x72), identity);
    EXPECT_EQ(P9080_ReadByte(handle_, 0, 0x72), identity);
    P9080_WriteByte(handle_, 0, 0x40, 0x5A);
    EXPECT_EQ(P9080_ReadByte(handle_, 1, 0x40), 0x5A);
    // Local memory (space 2) and the card's registers (space 3).
    P9080_WriteByte(handle_, 2, 0x123, 0xA5);
    EXPECT_EQ(P9080_ReadByte(handle_, 2, 0x123), 0xA5);
    P9080_WriteByte(handle_, 3, 0x20, 0x03);
    EXPECT_EQ(card.ReadRegister(0x20), 0x03);
    card.WriteRegister(0x21, 0x77);
    EXPECT_EQ(P9080_ReadByte(handle_, 3, 0x21), 0x77);
    // Inactive and unknown spaces are not accessed at all.
    for (const uint32_t space : {4u, 5u, 6u, 7u}) {
      P9080_WriteByte(handle_, space, 0x20, 0x01);
      EXPECT_EQ(P9080_ReadByte(handle_, space, 0x20), 0xFF);
    }
    EXPECT_EQ(card.ReadRegister(0x20), 0x03);
    P9080_Close(handle_);
  }
  EXPECT_EQ(P9080_ReadByte(nullptr, 3, 0x20), 0xFF);
}

TEST_F(PciAccess, ConfigurationReadsUseTheHeadersByteCounts) {
  Emulate({Card(BridgeType::k9056)});
  emulator::EmulatedCard& card = bus().Card(0);
  card.SetConfig32(0x3C, 0xA5C3010B);  // interrupt line 0x0B, pin 1, grant 0xC3, latency 0xA5
  card.SetConfig32(0x40, 0x0000BEEF);
  ASSERT_EQ(P9080_CountCards(kVendor, 0x9056, kSubsystem, 1, records_.data()), 1u);
  ASSERT_TRUE(P9080_Open(handle_, 0, records_[0]));
  const std::pair<uint32_t, uint32_t> cases[] = {
      {0x00, 0x905610B5},  // 4 bytes
      {0x02, 0x9056},      // 2
      {0x08, 0x0A},        // 1: revision
      {0x09, 0x068000},    // 3: class code
      {0x10, card.ReadConfig(0x10, 4)},
      {0x2C, kSubsystem},
      {0x2E, kSubsystem >> 16},
      {0x3C, 0x0B},
      {0x3E, 0xC3},
      {0x3F, 0xEFA5},  // 2 bytes, running into the next register
      {0x11, 0x10B5},  // not a register start: 2 bytes at 0
      {0x40, 0x10B5},
  };
  for (const auto& [offset, value] : cases) {
    EXPECT_EQ(P9080_ReadPCIReg(handle_, offset), value) << std::hex << "offset 0x" << offset;
  }
}

}  // namespace
