// Card discovery at library load: the log it writes, the PCI card report and the DOS-mode
// EEPROM repair, against the emulated bus on the virtual clock.

#include <gtest/gtest.h>

#include <fstream>
#include <optional>
#include <vector>

#include "dll/Plxdiscoveryunit.h"
#include "tests/dll/EmulatedCardFixture.h"
#include "tests/dll/pci_log_capture.h"

namespace {

using emulator::BridgeType;
using emulator::CardScenario;
using zorv_test::LogEntry;

constexpr uint32_t kVendor = 0x10B5;
constexpr uint32_t kSubsystem = 0x0310D1A7;
constexpr uint32_t kMaxCards = 8;

CardScenario Card(BridgeType bridge, std::array<uint16_t, 3> eeprom = {0xFFFE, 0x0008, 0x0000}) {
  CardScenario card;
  card.bridge = bridge;
  card.eeprom_abc = eeprom;
  return card;
}

uint32_t DeviceId(BridgeType bridge) {
  return bridge == BridgeType::k9056 ? 0x9056 : 0x9080;
}

class Discovery : public ::testing::Test {
 protected:
  emulator::VirtualPciBus& Emulate(const std::vector<CardScenario>& cards) {
    emulated_.emplace(emulator::Scenario{cards});
    return emulated_->bus();
  }
  emulator::VirtualPciBus& bus() { return emulated_->bus(); }

  // One scan as the library's start-up runs it, into the records after `first`.
  uint32_t Count(BridgeType bridge, uint32_t first = 0) {
    return CountInstalledCards("ZORV", kVendor, DeviceId(bridge), kSubsystem, dos_mode_,
                               variants_.data(), kMaxCards - first, cards_.data() + first);
  }

  int EepromProtocolErrors() {
    int errors = 0;
    for (size_t i = 0; i < bus().CardCount(); ++i) {
      errors += bus().Card(i).bridge().eeprom().ProtocolErrors();
    }
    return errors;
  }

  void TearDown() override {
    if (!emulated_) return;
    EXPECT_EQ(bus().ProtocolErrors(), 0) << bus().LastProtocolError();
    EXPECT_EQ(bus().RegistrationCount(), 0u);
    if (!eeprom_faults_expected_) {
      EXPECT_EQ(EepromProtocolErrors(), 0);
    }
  }

  platform::VirtualClock clock_;
  platform::ScopedClock scoped_clock_{clock_};
  zorv_test::LogCapture log_;
  std::optional<zorv_test::ScopedEmulatedBus> emulated_;
  bool dos_mode_ = false;
  bool eeprom_faults_expected_ = false;
  std::array<uint8_t, kMaxCards> variants_{};
  std::array<PCI_CARD_INFO, kMaxCards> cards_{};
};

std::vector<LogEntry> Without(std::vector<LogEntry> entries, const std::string& prefix) {
  std::erase_if(entries, [&](const LogEntry& e) { return e.text.starts_with(prefix); });
  return entries;
}

// The line of the first open on emulated cards (EmulatedCardsAreAnnouncedOncePerLog).
constexpr const char* kEmulationNotice = "Cards are EMULATED: ";

// The discovery lines of a scan of emulated cards, without the PCI report.
std::vector<LogEntry> ScanLines(const std::vector<LogEntry>& entries) {
  return Without(Without(entries, "PCI Card Info"), kEmulationNotice);
}

TEST_F(Discovery, ThreeCardsBehind9080AndTwoBehind9056AreCountedInScanOrder) {
  Emulate({Card(BridgeType::k9080), Card(BridgeType::k9056), Card(BridgeType::k9080),
           Card(BridgeType::k9056), Card(BridgeType::k9080)});
  const uint32_t first = Count(BridgeType::k9080);
  ASSERT_EQ(first, 3u);
  ASSERT_EQ(Count(BridgeType::k9056, first), 2u);
  EXPECT_FALSE(dos_mode_);

  const size_t scan_order[] = {0, 2, 4, 1, 3};
  for (size_t i = 0; i < 5; ++i) EXPECT_EQ(cards_[i].slot, bus().Card(scan_order[i]).Slot()) << i;

  const std::vector<LogEntry> expected = {
      {0, "Counting installed cards for cardname ZORV"},
      {0, "  Vendor ID 10B5  Device ID 9080  Sub Vendor ID 0310D1A7"},
      {0, "  Total cards of this type found is 3"},
      {0, "Counting installed cards for cardname ZORV"},
      {0, "  Vendor ID 10B5  Device ID 9056  Sub Vendor ID 0310D1A7"},
      {0, "  Total cards of this type found is 2"},
  };
  const std::vector<LogEntry> entries = log_.Entries();
  EXPECT_EQ(ScanLines(entries), expected);
  std::vector<int32_t> report_codes;
  for (const LogEntry& e : entries) {
    if (e.text.starts_with("PCI Card Info")) report_codes.push_back(e.code);
  }
  EXPECT_EQ(report_codes, (std::vector<int32_t>{0, 1, 2, 0, 1}));
}

TEST_F(Discovery, PciCardReportText) {
  Emulate({Card(BridgeType::k9080)});
  ASSERT_EQ(Count(BridgeType::k9080), 1u);
  const std::string expected =
      "PCI Card Info for Card Index 0\r\n"
      "Bus      1\r\n"
      "Slot     8\r\n"
      "Function 0\r\n"
      "  Physical Info for card ->\r\n"
      "   NumMemAddresses 2\r\n"
      "      Mem Bytes            MemIndex(0)  256\r\n"
      "      Mem Address          MemIndex(0)  0xE1000000\r\n"
      "      Mem Direct           MemIndex(0)  0x00A00000\r\n"
      "      Mem Physical Address MemIndex(0)  0xFE000000\r\n"
      "      Mem Bytes            MemIndex(1)  4096\r\n"
      "      Mem Address          MemIndex(1)  0xE1008000\r\n"
      "      Mem Direct           MemIndex(1)  0x00A08000\r\n"
      "      Mem Physical Address MemIndex(1)  0xFE008000\r\n"
      "      Interrupt     5\r\n"
      "      I/O Address   0x0000E100\r\n"
      "      I/O Bytes     256\r\n";
  const std::vector<LogEntry> entries = Without(log_.Entries(), kEmulationNotice);
  ASSERT_GE(entries.size(), 3u);
  EXPECT_EQ(entries[2], (LogEntry{0, expected}));
}

TEST_F(Discovery, NoCardsExplainsWhy) {
  struct Case {
    const char* name;
    std::optional<std::vector<CardScenario>> cards;  // none: no driver at all
    const char* found_line;
  };
  CardScenario other_subsystem = Card(BridgeType::k9080);
  other_subsystem.subsystem = 0x0610D1A7;
  const Case cases[] = {
      {"no driver", std::nullopt,
       "  Found 0 Cards Installed  Error Found is CountCards() Failed opening WinDriver device\n"},
      {"empty bus", std::vector<CardScenario>{},
       "  Found 0 Cards Installed  Error Found is P9080_CountCards->no cards found\n"},
      {"only another subsystem", std::vector<CardScenario>{other_subsystem},
       "  Found 0 Cards Installed"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    zorv_test::LogCapture log;
    std::optional<zorv_test::ScopedEmulateValue> no_driver;
    if (c.cards) {
      Emulate(*c.cards);
    } else {
      emulated_.reset();
      no_driver.emplace("");
    }
    EXPECT_EQ(Count(BridgeType::k9080), 0u);
    const std::vector<LogEntry> expected = {
        {0, "Counting installed cards for cardname ZORV"},
        {0, "  Vendor ID 10B5  Device ID 9080  Sub Vendor ID 0310D1A7"},
        {0, "NO CARDS TO LOG INFO ON"},
        {0, c.found_line},
    };
    // Without a driver there is no emulation to announce either.
    EXPECT_EQ(c.cards ? Without(log.Entries(), kEmulationNotice) : log.Entries(), expected);
  }
}

TEST_F(Discovery, EmulatedCardsAreAnnouncedOncePerLog) {
  Emulate({Card(BridgeType::k9080), Card(BridgeType::k9056)});
  // Two scans, each opening the device, and a card open after each.
  ASSERT_EQ(Count(BridgeType::k9080), 1u);
  ASSERT_EQ(Count(BridgeType::k9056, 1), 1u);
  const std::vector<LogEntry> notices =
      zorv_test::EntriesStartingWith(log_.Entries(), kEmulationNotice);
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_EQ(notices[0],
            (LogEntry{1, "Cards are EMULATED: virtual PCI bus, ZORV_EMULATE=test scenario"}));
  EXPECT_EQ(log_.Entries().at(2), notices[0]) << "at the first open, before the cards";

  zorv_test::LogCapture next_log;
  ASSERT_EQ(Count(BridgeType::k9080), 1u);
  EXPECT_EQ(zorv_test::EntriesStartingWith(next_log.Entries(), kEmulationNotice).size(), 1u);
}

TEST_F(Discovery, CardThatCannotBeOpenedIsStillCounted) {
  CardScenario scan_only = Card(BridgeType::k9080);
  scan_only.usable = emulator::Usable::kScanOnly;
  Emulate({Card(BridgeType::k9080), scan_only});
  EXPECT_EQ(Count(BridgeType::k9080), 2u);
  const std::vector<LogEntry> expected = {
      {0, "Counting installed cards for cardname ZORV"},
      {0, "  Vendor ID 10B5  Device ID 9080  Sub Vendor ID 0310D1A7"},
      {1, "COULD NOT OPEN CARD 2 See SW"},
      {0, "  Total cards of this type found is 2"},
  };
  EXPECT_EQ(ScanLines(log_.Entries()), expected);
}

struct EepromCase {
  const char* name;
  std::array<uint16_t, 3> before;  // A, B, C
  bool flat;
  uint8_t variant;
  std::array<uint16_t, 3> after;
};

const EepromCase kEepromCases[] = {
    {"flat", {0xFFFE, 0x0008, 0x0000}, true, 0, {0xFFFE, 0x0008, 0x0000}},
    {"flat variant 1", {0xFFFC, 0x0008, 0x0000}, true, 1, {0xFFFC, 0x0008, 0x0000}},
    {"DOS variant 1", {0xFFFF, 0x800A, 0x0004}, false, 1, {0xFFFC, 0x0008, 0x0000}},
    {"DOS A with flat B and C", {0xFFFF, 0x0008, 0x0000}, false, 0, {0xFFFE, 0x0008, 0x0000}},
    {"other content", {0x1234, 0x5678, 0x9ABC}, false, 0, {0xFFFE, 0x0008, 0x0000}},
};

std::string Hex4(uint16_t value) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%04X", value);
  return text;
}

TEST_F(Discovery, DosModeCardsAreRewrittenToFlatMode) {
  for (const BridgeType bridge : {BridgeType::k9080, BridgeType::k9056}) {
    for (const EepromCase& c : kEepromCases) {
      SCOPED_TRACE(std::string(c.name) + (bridge == BridgeType::k9056 ? " 9056" : " 9080"));
      zorv_test::LogCapture log;
      dos_mode_ = false;
      Emulate({Card(bridge, c.before)});
      testing::internal::CaptureStderr();
      const uint32_t count = Count(bridge);
      const std::string box = testing::internal::GetCapturedStderr();

      EXPECT_EQ(count, c.flat ? 1u : 0u);
      EXPECT_EQ(dos_mode_, !c.flat);
      EXPECT_EQ(variants_[0], c.variant);
      const emulator::SerialEeprom& eeprom = bus().Card(0).bridge().eeprom();
      EXPECT_EQ((std::array<uint16_t, 3>{eeprom.Word(10), eeprom.Word(11), eeprom.Word(12)}),
                c.after);
      EXPECT_EQ(EepromProtocolErrors(), 0) << eeprom.LastProtocolError();
      if (c.flat) {
        EXPECT_EQ(box, "");
        continue;
      }
      const auto [a, b, cc] = c.before;
      const std::vector<LogEntry> expected = {
          {0, "Counting installed cards for cardname ZORV"},
          {0, std::string("  Vendor ID 10B5  Device ID ") +
                  (bridge == BridgeType::k9056 ? "9056" : "9080") + "  Sub Vendor ID 0310D1A7"},
          {1, "Card is set to DOS mode.  EEPROM C,B,A =.. " + Hex4(cc) + " " + Hex4(b) + " " +
                  Hex4(a) + " "},
          {1, "  Setting to Flat Mode (Windows).  You Need To REBOOT for this to work"},
          {0, "--------SETMARNFLAT BEGIN------------"},
          {0, "  writing eeprom"},
          {0, "Resulting EEPROM Readings (A,B,C) = " + Hex4(c.after[0]) + " " + Hex4(c.after[1]) +
                  " " + Hex4(c.after[2])},
          {0, "--------SETMARNFLAT END------------"},
          {255, "Found a card in DOS mode.  You NEED to REBOOT before contining"},
      };
      EXPECT_EQ(ScanLines(log.Entries()), expected);
      EXPECT_NE(box.find("Found a card in DOS mode.  You NEED to REBOOT before contining"),
                std::string::npos)
          << box;
    }
  }
}

TEST_F(Discovery, CardWithFewerThanTwoMemoryRangesIsNeverTested) {
  Emulate({Card(BridgeType::k9080, {0x1234, 0x5678, 0x9ABC})});
  // Drop the second memory range (item 2) from what the driver reports.
  windriver::ResourceBlock& resources = bus().Card(0).Resources();
  std::copy(resources.items.begin() + 3, resources.items.end(), resources.items.begin() + 2);
  --resources.count;

  EXPECT_EQ(Count(BridgeType::k9080), 1u);
  EXPECT_EQ(cards_[0].memory_count, 1u);
  EXPECT_FALSE(dos_mode_);
  EXPECT_EQ(bus().Card(0).bridge().eeprom().Word(10), 0x1234);
}

TEST_F(Discovery, DosModeFlagSurvivesTheSecondScan) {
  Emulate({Card(BridgeType::k9080, {0xFFFF, 0x800A, 0x0004}), Card(BridgeType::k9056)});
  testing::internal::CaptureStderr();
  EXPECT_EQ(Count(BridgeType::k9080), 0u);
  testing::internal::GetCapturedStderr();
  ASSERT_TRUE(dos_mode_);
  EXPECT_EQ(Count(BridgeType::k9056), 1u);
  EXPECT_TRUE(dos_mode_);
}

TEST_F(Discovery, EepromThatNeverFinishesAWriteDoesNotHangDiscovery) {
  Emulate({Card(BridgeType::k9080, {0x1234, 0x5678, 0x9ABC})});
  emulator::SerialEeprom& eeprom = bus().Card(0).bridge().eeprom();
  eeprom.HoldBusy(true);
  eeprom_faults_expected_ = true;
  testing::internal::CaptureStderr();
  EXPECT_EQ(Count(BridgeType::k9080), 0u);
  testing::internal::GetCapturedStderr();

  int timeouts = 0;
  std::string readings;
  for (const LogEntry& e : log_.Entries()) {
    if (e.text == "EEPROM write did not complete" && e.code == 1) ++timeouts;
    if (e.text.starts_with("Resulting EEPROM Readings")) readings = e.text;
  }
  EXPECT_EQ(timeouts, 3);
  // The part stays busy, so it answers nothing: the line shows what the reads saw.
  EXPECT_EQ(readings, "Resulting EEPROM Readings (A,B,C) = 0xFFFF 0xFFFF 0xFFFF");
  EXPECT_GT(eeprom.ProtocolErrors(), 0) << "commands sent to a busy part";
}

TEST_F(Discovery, ScenarioFileBusKeepsTheRewrittenEepromForLaterOpens) {
  const std::filesystem::path scenario = log_.path() / "dos.scenario";
  std::ofstream(scenario) << "[Bus]\nCards=1\n[Card0]\nEepromA=0xFFFF\nEepromB=0x800A\n"
                             "EepromC=0x0004\n";
  zorv_test::ScopedEmulateValue emulate(scenario.string());
  testing::internal::CaptureStderr();
  EXPECT_EQ(Count(BridgeType::k9080), 0u);
  testing::internal::GetCapturedStderr();
  EXPECT_TRUE(dos_mode_);

  // A later scan and open (the card object's) sees the same bus, now in flat mode.
  ASSERT_EQ(P9080_CountCards(kVendor, 0x9080, kSubsystem, 1, cards_.data()), 1u);
  P9080_HANDLE card = nullptr;
  ASSERT_TRUE(P9080_Open(card, 0, cards_[0]));
  uint8_t variant = 0;
  EXPECT_TRUE(IsCardInFlatMode(card, variant));
  EXPECT_EQ(variant, 1);
  P9080_Close(card);
  emulator::StopBus();
}

}  // namespace
