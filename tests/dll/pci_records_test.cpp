// The WinDriver records byte for byte: what the driver reads and writes at each offset.

#include <gtest/gtest.h>

#include "driver/KesPlxGenDriverUnit.h"

namespace wd = windriver;

namespace {

TEST(DriverRecords, FieldsAreLittleEndianWhateverTheHost) {
  wd::Record<8> record;
  record.Set(4, 0x11223344);
  EXPECT_EQ(record.bytes, (std::array<uint8_t, 8>{0, 0, 0, 0, 0x44, 0x33, 0x22, 0x11}));
  EXPECT_EQ(record.Get(4), 0x11223344u);
}

TEST(DriverRecords, RequestCodesAndSizes) {
  struct Case {
    uint32_t code;
    uint32_t expected_code;
    size_t size;
    size_t expected_size;
  };
  const Case cases[] = {
      {wd::kScanCards, 0x9538268F, wd::ScanCards::kSize, 2016},
      {wd::kGetCardInfo, 0x9538243F, wd::GetCardInfo::kSize, 816},
      {wd::kRegisterCard, 0x953826AF, wd::RegisterCard::kSize, 948},
      {wd::kUnregisterCard, 0x953824AF, wd::RegisterCard::kSize, 948},
      {wd::kReadPciConfig, 0x9538246B, wd::ReadPciConfig::kSize, 32},
      {wd::kTransfer, 0x95382633, wd::Transfer::kSize, 32},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.code, c.expected_code);
    EXPECT_EQ(c.size, c.expected_size) << std::hex << c.code;
  }
  EXPECT_EQ(wd::ResourceItem::kSize, 40u);
  EXPECT_EQ(wd::ResourceBlock::kSize, 804u);
}

TEST(DriverRecords, ResourceItemFieldOffsets) {
  const wd::ResourceItem item{wd::kResourceMemory, 1, 0xFE000000, 0x100, 0xE1000000, 0x00A00000};
  std::array<uint8_t, wd::ResourceItem::kSize> bytes{};
  item.Store(bytes.data());
  const std::pair<size_t, uint32_t> expected[] = {
      {0, 2},      {4, 1},           {8, 0},           {12, 0}, {16, 0xFE000000},
      {20, 0x100}, {24, 0xE1000000}, {28, 0x00A00000}, {32, 0}, {36, 0}};
  for (const auto& [offset, value] : expected) {
    EXPECT_EQ(wd::Field(bytes.data(), offset), value) << "offset " << offset;
  }
  EXPECT_EQ(wd::ResourceItem::Load(bytes.data()), item);
}

TEST(DriverRecords, ResourceBlockPlacesItemsFromOffset4) {
  wd::ResourceBlock block;
  block.count = 2;
  block.items[1] = {wd::kResourceIo, 0, 0xE100, 0x80, 0, 0};
  block.items[19] = {wd::kResourceInterrupt, 0, 7, 0, 0x407, 0};
  std::array<uint8_t, wd::ResourceBlock::kSize> bytes{};
  block.Store(bytes.data());
  EXPECT_EQ(wd::Field(bytes.data(), 0), 2u);
  EXPECT_EQ(wd::Field(bytes.data(), 4 + 40 + 16), 0xE100u);
  EXPECT_EQ(wd::Field(bytes.data(), 4 + 19 * 40 + 24), 0x407u);
  EXPECT_EQ(wd::ResourceBlock::Load(bytes.data()), block);
}

TEST(DriverRecords, ResourceCountPastTheBlockIsCut) {
  wd::ResourceBlock block;
  block.count = 0xFFFFFFFF;
  EXPECT_EQ(block.ItemCount(), 20u);
}

}  // namespace
