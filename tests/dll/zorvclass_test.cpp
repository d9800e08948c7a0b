// The card object against emulated cards on the virtual clock: the open sequence with its log
// lines and card number, the failures that leave a card in the table with some flags false
// (also for exhausted memory) and the quick-react mode it keeps. Every test ends with the card
// released and the bus clean: nothing registered, no request refused, no module violation.

#include "dll/zorvclass.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "support/keserrorlog.h"
#include "tests/common/ScratchFolder.h"
#include "tests/dll/EmulatedCardFixture.h"
#include "tests/dll/library_log.h"

namespace {

using emulator::CardScenario;
using zorv_test::LogEntry;

class ZorvClassTest : public ::testing::Test {
 protected:
  void SetUp() override { OpenErrorLog(true, "test", "ZORVDLL", "", "ZORVDLL"); }

  void TearDown() override {
    card_.reset();
    CloseErrorLog(true);
    SetCreationFault(nullptr);
    if (bus_) {
      EXPECT_EQ(bus_->bus().ProtocolErrors(), 0) << bus_->bus().LastProtocolError();
      EXPECT_EQ(bus_->bus().RegistrationCount(), 0u);
      EXPECT_EQ(bus_->bus().Card(0).bitsync().Violations().Total(), 0);
    }
  }

  // Emulates one card, scans it and constructs the card object with the given index.
  void OpenCard(int32_t index, const CardScenario& scenario = {}) {
    bus_.emplace(emulator::Scenario{{scenario}});
    PCI_CARD_INFO info{};
    ASSERT_EQ(P9080_CountCards(0x10B5, 0x9080, scenario.subsystem, 1, &info), 1u);
    card_ = std::make_unique<zorvclass>(index, info);
  }

  emulator::EmulatedCard& emulated() { return bus_->bus().Card(0); }

  std::vector<LogEntry> LinesStartingWith(const std::string& prefix) const {
    return zorv_test::EntriesStartingWith(
        zorv_test::ReadLogEntries(scratch_.path() / "ZORVDLL.Log"), prefix);
  }

  platform::VirtualClock clock_;
  platform::ScopedClock scoped_clock_{clock_};
  zorv_test::ScratchFolder scratch_{"zorvclass_test"};
  std::optional<zorv_test::ScopedEmulatedBus> bus_;
  std::unique_ptr<zorvclass> card_;
};

struct CardNumberCase {
  int32_t index;
  uint8_t card_number;
};

class CardNumberTest : public ZorvClassTest,
                       public ::testing::WithParamInterface<CardNumberCase> {};

TEST_P(CardNumberTest, OpenCardLogsItsSignatureAndGetsItsNumber) {
  const CardNumberCase c = GetParam();
  OpenCard(c.index);
  EXPECT_EQ(emulated().ReadRegister(zorvclass::kCardNumberRegister), c.card_number);
  const std::string n = std::to_string(c.index + 1);
  const auto signature = LinesStartingWith("Signature for ZORV card ");
  ASSERT_EQ(signature.size(), 1u);
  EXPECT_EQ(signature[0].text, "Signature for ZORV card " + n + " is TQ517");
  EXPECT_EQ(signature[0].code, 0);
  EXPECT_TRUE(card_->IsIrigPresent());
  EXPECT_TRUE(card_->IsBitsyncPresent());
  EXPECT_TRUE(card_->IsReadbackCapable());
  EXPECT_EQ(card_->BitsyncCount(), 1);
  EXPECT_EQ(card_->SecondCount(), 0);
  EXPECT_EQ(card_->QuickReactMode(), 0);
}

// The card number register holds (index + 1) & 7: the eighth card reads 0.
INSTANTIATE_TEST_SUITE_P(Indexes, CardNumberTest,
                         ::testing::Values(CardNumberCase{0, 1}, CardNumberCase{2, 3},
                                           CardNumberCase{7, 0}),
                         [](const auto& info) {
                           return "Index" + std::to_string(info.param.index);
                         });

TEST_F(ZorvClassTest, CardThatCannotBeOpenedStaysWithEveryFlagFalse) {
  CardScenario scenario;
  scenario.usable = emulator::Usable::kScanOnly;
  OpenCard(1, scenario);
  EXPECT_FALSE(card_->HasCardHandle());
  EXPECT_FALSE(card_->IsIrigPresent());
  EXPECT_FALSE(card_->IsBitsyncPresent());
  EXPECT_FALSE(card_->IsReadbackCapable());
  EXPECT_EQ(card_->BitsyncCount(), 0);
  const auto lines = LinesStartingWith("Cannot Open the pci card");
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].text, "Cannot Open the pci card for card 2");
  EXPECT_EQ(lines[0].code, 1);
  EXPECT_TRUE(LinesStartingWith("Signature for ZORV card").empty());
  // Without a bitsync object the forwarding operations answer for it.
  int32_t status = 0;
  EXPECT_FALSE(card_->BitsyncStatus(status));
  EXPECT_EQ(status, 5);
  std::string error_text;
  EXPECT_FALSE(card_->LoadBitsyncSetup(BitsyncSetup{}, error_text));
  EXPECT_EQ(error_text, "No Bitsyncs To Setup");
}

TEST_F(ZorvClassTest, MissingModuleLeavesTheIrigReaderWorking) {
  CardScenario scenario;
  scenario.module = emulator::ModuleState::kAbsent;
  OpenCard(0, scenario);
  EXPECT_TRUE(card_->IsIrigPresent());
  EXPECT_FALSE(card_->IsBitsyncPresent());
  EXPECT_EQ(card_->BitsyncCount(), 0);
  const auto lines = LinesStartingWith("Bitsync Could Not Be Opened");
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(
      lines[0].text,
      "Bitsync Could Not Be Opened For Card 1  er:Status Indicates NO KELTTF BITSYNC PRESENT");
  EXPECT_EQ(lines[0].code, 1);
  int32_t status = 0;
  EXPECT_TRUE(card_->WithIrig([&](marnirigclass& irig) { return irig.GetIrigStatus(status); }));
}

TEST_F(ZorvClassTest, OlderMotherCardIsNotReadbackCapable) {
  CardScenario scenario;
  scenario.readback = false;
  OpenCard(0, scenario);
  EXPECT_TRUE(card_->IsBitsyncPresent());
  EXPECT_FALSE(card_->IsReadbackCapable());
  bool called = false;
  EXPECT_FALSE(card_->WithReadbackBitsync([&](keltbitsyncclass2&) { return called = true; }));
  EXPECT_FALSE(called);
  std::string error_text;
  EXPECT_FALSE(card_->SetQuickReactMode(1, error_text));
  EXPECT_EQ(card_->QuickReactMode(), 0) << "an older card keeps no mode it cannot program";
}

struct ExhaustedMemoryCase {
  const char* name;
  CardObjectKind kind;
  const char* line;
};

class ExhaustedMemoryTest : public ZorvClassTest,
                            public ::testing::WithParamInterface<ExhaustedMemoryCase> {};

TEST_P(ExhaustedMemoryTest, SubObjectThatCannotBeCreatedLeavesItsFlagFalse) {
  static CardObjectKind failing;
  failing = GetParam().kind;
  SetCreationFault([](CardObjectKind kind, int32_t) { return kind == failing; });
  OpenCard(0);
  const bool irig_failed = failing == CardObjectKind::kIrigReader;
  EXPECT_EQ(card_->IsIrigPresent(), !irig_failed);
  EXPECT_EQ(card_->IsBitsyncPresent(), irig_failed);
  EXPECT_EQ(card_->BitsyncCount(), irig_failed ? 1 : 0);
  const auto lines = LinesStartingWith(irig_failed ? "Irig" : "Bitsync");
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].text, GetParam().line);
  EXPECT_EQ(lines[0].code, 1);
}

INSTANTIATE_TEST_SUITE_P(
    Objects, ExhaustedMemoryTest,
    ::testing::Values(
        ExhaustedMemoryCase{
            "IrigReader", CardObjectKind::kIrigReader,
            "Irig Could Not Be Opened For Card 1  er:not enough memory to create the IRIG reader"},
        ExhaustedMemoryCase{"Bitsync", CardObjectKind::kBitsync,
                            "Bitsync Could Not Be Opened For Card 1  er:not enough memory to "
                            "create the bitsync object"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ZorvClassTest, QuickReactModeIsStoredAndUsedByTheNextSetup) {
  OpenCard(0);
  std::string error_text;
  ASSERT_TRUE(card_->SetQuickReactMode(0x101, error_text)) << error_text;
  EXPECT_EQ(card_->QuickReactMode(), 1) << "only the low 8 bits count";
  EXPECT_TRUE(emulated().bitsync().Programming().quick_react_mode);
  ASSERT_TRUE(card_->SetQuickReactMode(0, error_text)) << error_text;
  EXPECT_FALSE(emulated().bitsync().Programming().quick_react_mode);
  card_->SetQuickReactMode(1, error_text);
  BitsyncSetup setup{};
  setup.BitRate = 1'024'000;
  ASSERT_TRUE(card_->LoadBitsyncSetup(setup, error_text)) << error_text;
  EXPECT_TRUE(emulated().bitsync().Programming().quick_react_mode);
}

TEST_F(ZorvClassTest, QuickReactModeIsKeptWhenTheModuleDoesNotTakeIt) {
  CardScenario scenario;
  scenario.module = emulator::ModuleState::kStuckBusy;
  OpenCard(0, scenario);
  ASSERT_TRUE(card_->IsReadbackCapable());
  std::string error_text;
  EXPECT_FALSE(card_->SetQuickReactMode(1, error_text));
  EXPECT_EQ(card_->QuickReactMode(), 1);
}

}  // namespace
