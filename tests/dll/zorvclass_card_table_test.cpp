// The card table built at load, driven in-process on the virtual clock: the load sequence runs
// against an emulated bus and the exports are called directly. Table order by bridge type, the
// limit of eight cards, the test station's subsystem value, and a card whose object could not
// be created. Every test ends unloaded with the bus clean.

#include <gtest/gtest.h>

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "dll/Keltdllglobunit.h"
#include "dll/zorvclass.h"
#include "tests/common/ScratchFolder.h"
#include "tests/dll/EmulatedCardFixture.h"
#include "tests/dll/library_log.h"
#include "zorv/ZorvApi.h"

namespace {

using emulator::BridgeType;
using emulator::CardScenario;

CardScenario Card(BridgeType bridge, uint32_t subsystem = 0x0310D1A7) {
  CardScenario card;
  card.bridge = bridge;
  card.subsystem = subsystem;
  return card;
}

class CardTableTest : public ::testing::Test {
 protected:
  void TearDown() override {
    Unload();
    SetCreationFault(nullptr);
    if (bus_) {
      EXPECT_EQ(bus_->bus().ProtocolErrors(), 0) << bus_->bus().LastProtocolError();
      EXPECT_EQ(bus_->bus().RegistrationCount(), 0u);
    }
  }

  // Loads the library frame over these cards and opens the API; returns the card count.
  int32_t Load(const std::vector<CardScenario>& cards) {
    bus_.emplace(emulator::Scenario{cards});
    ZorvDllProcessAttach();
    uint8_t dos_mode = 0;
    int32_t count = -1;
    EXPECT_EQ(ZorvApiOpen(&dos_mode, &count, bitsync_counts_.data(), reserved_.data()), 0);
    EXPECT_EQ(dos_mode, 0);
    return count;
  }

  void Unload() {
    ZorvDllProcessDetach();
    log_ = zorv_test::ReadLogEntries(scratch_.path() / "ZORVDLL.Log");
  }

  // The card number the library wrote to an emulated card (0 when it never opened it).
  uint8_t CardNumberOf(size_t bus_position) {
    return bus_->bus().Card(bus_position).ReadRegister(zorvclass::kCardNumberRegister);
  }

  std::vector<zorv_test::LogEntry> Signatures() const {
    return zorv_test::EntriesStartingWith(log_, "Signature for ZORV card");
  }

  platform::VirtualClock clock_;
  platform::ScopedClock scoped_clock_{clock_};
  zorv_test::ScratchFolder scratch_{"zorv_card_table_test"};
  std::optional<zorv_test::ScopedEmulatedBus> bus_;
  std::array<int32_t, kZorvApiMaxCards> bitsync_counts_{};
  std::array<int32_t, kZorvApiMaxCards> reserved_{};
  std::vector<zorv_test::LogEntry> log_;
};

TEST_F(CardTableTest, CardsBehind9080BridgesComeFirstInScanOrder) {
  const int32_t count =
      Load({Card(BridgeType::k9056), Card(BridgeType::k9080), Card(BridgeType::k9056),
            Card(BridgeType::k9080), Card(BridgeType::k9080)});
  ASSERT_EQ(count, 5);
  // Bus positions 1, 3, 4 (9080) become cards 1 to 3; positions 0 and 2 (9056) cards 4 and 5.
  EXPECT_EQ(CardNumberOf(1), 1);
  EXPECT_EQ(CardNumberOf(3), 2);
  EXPECT_EQ(CardNumberOf(4), 3);
  EXPECT_EQ(CardNumberOf(0), 4);
  EXPECT_EQ(CardNumberOf(2), 5);
  for (int32_t i = 0; i < count; ++i) {
    EXPECT_EQ(bitsync_counts_[i], 1) << "card " << i;
    EXPECT_EQ(reserved_[i], 0) << "card " << i;
  }
}

TEST_F(CardTableTest, EightCardsBehind9080BridgesLeaveNoRoomForA9056Card) {
  std::vector<CardScenario> cards(8, Card(BridgeType::k9080));
  cards.push_back(Card(BridgeType::k9056));
  ASSERT_EQ(Load(cards), 8);
  EXPECT_EQ(bus_->bus().RegistrationCount(), 8u) << "the ninth card is never opened";
  EXPECT_EQ(CardNumberOf(8), 0);
  int32_t status = 0;
  EXPECT_EQ(ZorvApiGetIrigStatus(7, &status), 0);
  EXPECT_EQ(ZorvApiGetIrigStatus(8, &status), kZorvApiBadCardIndex);
  Unload();
  EXPECT_EQ(Signatures().size(), 8u);
}

struct SubsystemCase {
  bool test_station;
  size_t opened_position;
};

class SubsystemTest : public CardTableTest, public ::testing::WithParamInterface<SubsystemCase> {};

TEST_P(SubsystemTest, TestStationFileSelectsTheSubsystemValue) {
  if (GetParam().test_station) scratch_.Touch("tiloma.txt");
  ASSERT_EQ(Load({Card(BridgeType::k9080, 0x0310D1A7), Card(BridgeType::k9080, 0x0610D1A7)}), 1);
  EXPECT_EQ(CardNumberOf(GetParam().opened_position), 1);
  EXPECT_EQ(CardNumberOf(1 - GetParam().opened_position), 0);
  Unload();
  const std::string rule(67, '=');
  const auto banner = zorv_test::EntriesStartingWith(log_, "HAVE FAKE ZORV");
  const auto rules = zorv_test::EntriesStartingWith(log_, rule);
  if (!GetParam().test_station) {
    EXPECT_TRUE(banner.empty());
    EXPECT_TRUE(rules.empty());
    return;
  }
  ASSERT_EQ(banner.size(), 1u);
  EXPECT_EQ(banner[0].text,
            "HAVE FAKE ZORV USING AN MARN..REMOVE THE FILE TILOMA.TXT FOR SHIPPING");
  EXPECT_EQ(rules.size(), 4u);
  // Two rules before the banner, two after both scans.
  ASSERT_GE(log_.size(), 5u);
  const auto at = [&](const std::string& text) {
    for (size_t i = 0; i < log_.size(); ++i) {
      if (log_[i].text == text) return i;
    }
    return log_.size();
  };
  const size_t banner_at = at(banner[0].text);
  EXPECT_EQ(log_[banner_at - 1].text, rule);
  EXPECT_EQ(log_[banner_at - 2].text, rule);
  EXPECT_LT(at("Signature for ZORV card 1 is TQ517"), log_.size());
  EXPECT_EQ(log_[at("Signature for ZORV card 1 is TQ517") - 1].text, rule);
}

INSTANTIATE_TEST_SUITE_P(Stations, SubsystemTest,
                         ::testing::Values(SubsystemCase{false, 0}, SubsystemCase{true, 1}),
                         [](const auto& info) {
                           return info.param.test_station ? "TestStation" : "Shipping";
                         });

TEST_F(CardTableTest, CardWhoseObjectCouldNotBeCreatedAnswersAsAFailedCard) {
  SetCreationFault([](CardObjectKind kind, int32_t index) {
    return kind == CardObjectKind::kCardObject && index == 1;
  });
  ASSERT_EQ(Load({Card(BridgeType::k9080), Card(BridgeType::k9080)}), 2);
  EXPECT_EQ(bitsync_counts_[0], 1);
  EXPECT_EQ(bitsync_counts_[1], 0);
  int32_t status = 0;
  EXPECT_EQ(ZorvApiGetIrigStatus(0, &status), 0);
  EXPECT_EQ(ZorvApiGetIrigStatus(1, &status), kZorvApiNoIrig);
  EXPECT_EQ(ZorvApiGetBitsyncStatus(1, &status), kZorvApiNoBitsync);
  uint8_t fsp_option = 1;
  EXPECT_EQ(ZorvApiGetBsEnableFspOption(1, &fsp_option), kZorvApiNoBitsync);
  EXPECT_EQ(fsp_option, 0);
  Unload();
  const auto lines = zorv_test::EntriesStartingWith(log_, "Card Object Could Not Be Created");
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].text, "Card Object Could Not Be Created For Card 2  er:not enough memory");
  EXPECT_EQ(lines[0].code, 1);
  EXPECT_EQ(Signatures().size(), 1u);
}

}  // namespace
