// The result codes of every export that takes a card index, through the loaded library: the
// API gate, the index check, DOS mode, and cards that lack their IRIG reader, their module,
// the newer mother card or the FSP option. On every code that stops a call before its work
// the out-values stay as they were (the FSP option flag excepted: it is cleared first).

#include <array>
#include <functional>

#include "tests/e2e/ZorvDllFixture.h"

namespace zorv_e2e {
namespace {

// One card of each kind, all behind 9080 bridges, in this table order.
constexpr const char* kMixedCards = R"([Bus]
Cards=5
[Card1]
Module=absent
[Card2]
Readback=NO
[Card3]
Configuration=0x00,0x00,0x31,0x0A,0x03,0x92
[Card4]
Usable=SCANONLY
)";

enum MixedCard { kHealthy, kNoModule, kOlderMotherCard, kOlderModule, kNotOpened, kMixedCount };

// The code each kind of card gives to each group of exports (after the options were read).
int32_t ExpectedCode(int card, ExportGroup group) {
  //                                                       IRIG  bitsync  readback  FSP
  static constexpr std::array<std::array<int32_t, 4>, kMixedCount> kCodes = {{
      {0, 0, 0, 0},    // healthy
      {0, 5, 5, 5},    // no module: the IRIG reader still works
      {0, 0, 12, 12},  // older mother card: no command read-back
      {0, 0, 0, 5},    // older configuration format: no FSP option
      {4, 5, 5, 5},    // registered during the scan, then failed to open
  }};
  return kCodes[card][static_cast<int>(group)];
}

class ResultCodeTest : public ZorvDllTest {
 protected:
  void ExpectCodes(int32_t card, const std::function<int32_t(const PerCardExport&)>& expected) {
    zorv_e2e::ExpectCodes(api(), card, expected);
  }

  void ExpectEveryCode(int32_t card, int32_t code) {
    ExpectCodes(card, [code](const PerCardExport&) { return code; });
  }
};

TEST_F(ResultCodeTest, ApiGateAndCardIndex) {
  Load(kMixedCards);
  ExpectEveryCode(0, kZorvApiNotOpen);
  ASSERT_EQ(OpenApi(), kMixedCount);
  EXPECT_EQ(bitsync_counts(), (std::vector<int32_t>{1, 0, 1, 1, 0}));
  ExpectEveryCode(-1, kZorvApiBadCardIndex);
  ExpectEveryCode(kMixedCount, kZorvApiBadCardIndex);
  int32_t status = 0;
  EXPECT_EQ(api().ZorvApiGetIrigStatus(kMixedCount - 1, &status), kZorvApiNoIrig)
      << "the last index passes the index check";

  api().ZorvApiClose();
  ExpectEveryCode(0, kZorvApiNotOpen);
  ASSERT_EQ(OpenApi(), kMixedCount);
  EXPECT_EQ(api().ZorvApiGetIrigStatus(0, &status), 0);
  Unload();
  // Opening the API again did not open the cards again.
  EXPECT_EQ(zorv_test::EntriesStartingWith(log(), "Signature for ZORV card ").size(), 4u);
}

TEST_F(ResultCodeTest, EachKindOfCardAnswersWithItsCodes) {
  Load(kMixedCards);
  ASSERT_EQ(OpenApi(), kMixedCount);
  for (int card = 0; card < kMixedCount; ++card) {
    ExpectCodes(card, [card](const PerCardExport& e) { return ExpectedCode(card, e.group); });
  }
  int32_t max_source = 0;
  EXPECT_EQ(api().ZorvApiGetBitsyncMaxInputSource(kHealthy, &max_source), 0);
  EXPECT_EQ(max_source, 11);
  EXPECT_EQ(api().ZorvApiGetBitsyncMaxInputSource(kOlderMotherCard, &max_source), 0);
  EXPECT_EQ(max_source, 3);
  uint8_t fsp_option = 0;
  EXPECT_EQ(api().ZorvApiGetBsEnableFspOption(kHealthy, &fsp_option), 0);
  EXPECT_EQ(fsp_option, 1);
  Unload();
  const auto failures = zorv_test::EntriesStartingWith(log(), "Cannot Open the pci card for card ");
  ASSERT_EQ(failures.size(), 1u);
  EXPECT_EQ(failures[0].text, "Cannot Open the pci card for card 5");
}

TEST_F(ResultCodeTest, FspNeedsTheOptionsReadFirst) {
  // Until the configuration was read a module counts as one of the older format.
  Load("[Bus]\nCards=1\n");
  ASSERT_EQ(OpenApi(), 1);
  uint8_t fsp_option = 1;
  EXPECT_EQ(api().ZorvApiGetBsEnableFspOption(0, &fsp_option), kZorvApiNoBitsync);
  EXPECT_EQ(fsp_option, 0);
  uint16_t count = 7;
  EXPECT_EQ(api().ZorvApiGetBsFspCount(0, &count), kZorvApiNoBitsync);
  EXPECT_EQ(count, 7);
  uint8_t option_20_mbit = 0;
  uint8_t option_ber = 0;
  ASSERT_EQ(api().ZorvApiGetBitsyncOptions(0, &option_20_mbit, &option_ber), 0);
  EXPECT_EQ(api().ZorvApiGetBsEnableFspOption(0, &fsp_option), 0);
  EXPECT_EQ(fsp_option, 1);
}

TEST_F(ResultCodeTest, DosModeAnswersOneBeforeAnyOtherCheck) {
  // The 9080 card's bridge still holds the DOS configuration; the 9056 card is fine.
  Load(R"([Bus]
Cards=2
[Card0]
EepromA=0xFFFF
EepromB=0x800A
EepromC=0x0004
[Card1]
Bridge=9056
)");
  for (int32_t card : {-1, 0, 99}) ExpectEveryCode(card, kZorvApiDosMode);
  for (int attempt = 0; attempt < 2; ++attempt) {
    uint8_t dos_mode = 0;
    int32_t count = -1;
    std::array<int32_t, kZorvApiMaxCards> bitsync_counts;
    std::array<int32_t, kZorvApiMaxCards> reserved;
    bitsync_counts.fill(-1);
    reserved.fill(-1);
    EXPECT_EQ(api().ZorvApiOpen(&dos_mode, &count, bitsync_counts.data(), reserved.data()),
              kZorvApiDosMode);
    EXPECT_EQ(dos_mode, 1);
    ASSERT_EQ(count, 1) << "only the 9056 card counts";
    EXPECT_EQ(bitsync_counts[0], 0);
    EXPECT_EQ(reserved[0], 0);
    EXPECT_EQ(bitsync_counts[1], -1) << "nothing written past the card count";
  }
  ExpectEveryCode(0, kZorvApiDosMode);
  api().ZorvApiClose();
  ExpectEveryCode(0, kZorvApiDosMode);
  Unload();
  const auto lines = zorv_test::EntriesStartingWith(log(), "An ZORV card was found in dos mode");
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].text,
            "An ZORV card was found in dos mode, You must REBOOT the machine in order for the "
            "change to take place");
  EXPECT_EQ(lines[0].code, 1);
  EXPECT_TRUE(zorv_test::EntriesStartingWith(log(), "Signature for ZORV card").empty());
}

TEST_F(ResultCodeTest, NinthCardIsNeverOpened) {
  Load("[Bus]\nCards=9\n");
  ASSERT_EQ(OpenApi(), kZorvApiMaxCards);
  int32_t status = 0;
  EXPECT_EQ(api().ZorvApiGetIrigStatus(7, &status), 0);
  EXPECT_EQ(api().ZorvApiGetIrigStatus(8, &status), kZorvApiBadCardIndex);
  Unload();
  const auto signatures = zorv_test::EntriesStartingWith(log(), "Signature for ZORV card ");
  ASSERT_EQ(signatures.size(), 8u);
  EXPECT_EQ(signatures.back().text, "Signature for ZORV card 8 is TQ517");
}

}  // namespace
}  // namespace zorv_e2e
