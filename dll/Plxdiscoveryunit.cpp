#include "dll/Plxdiscoveryunit.h"

#include <algorithm>

#include "dll/Plxeepromunit.h"
#include "platform/clock.h"
#include "support/KesBorGenUnit.h"

namespace {

constexpr uint16_t kFlatA = 0xFFFE;
constexpr uint16_t kFlatVariant1A = 0xFFFC;
constexpr uint16_t kFlatB = 0x0008;
constexpr uint16_t kFlatC = 0x0000;
constexpr uint16_t kDosVariant1A = 0xFFFF;
constexpr uint16_t kDosVariant1B = 0x800A;
constexpr uint16_t kDosVariant1C = 0x0004;
constexpr uint32_t kEepromSettleMs = 10;

void Log(const std::string& message, int32_t code) {
  LogInfo(message, code, false);
}

std::string Whole(uint32_t value) {
  return std::to_string(value);
}

std::string Word(uint16_t value) {
  return FormatHex(value, 4, true);
}

std::string Decimal(int max_length, uint32_t value) {
  return FormatFixed(max_length, 0, value);
}

std::string Address(uint32_t value) {
  return FormatHex64(value, 8, true);
}

std::string CardReport(int32_t index, const PCI_CARD_INFO& card) {
  const char* const kEnd = "\r\n";
  std::string text = "PCI Card Info for Card Index " + FormatFixed(3, 0, index) + kEnd;
  text += "Bus      " + Decimal(5, card.bus) + kEnd;
  text += "Slot     " + Decimal(5, card.slot) + kEnd;
  text += "Function " + Decimal(5, card.function) + kEnd;
  text += std::string("  Physical Info for card ->") + kEnd;
  const uint32_t ranges = std::min(card.memory_count, PCI_CARD_INFO::kMaxMemoryRanges);
  text += "   NumMemAddresses " + Decimal(8, ranges) + kEnd;
  for (uint32_t j = 0; j < ranges; ++j) {
    const std::string index_text = "MemIndex(" + Decimal(2, j) + ")  ";
    text += "      Mem Bytes            " + index_text + Decimal(8, card.memory_length[j]) + kEnd;
    text += "      Mem Address          " + index_text + Address(card.memory_transfer_address[j]) +
            kEnd;
    text +=
        "      Mem Direct           " + index_text + Address(card.memory_direct_address[j]) + kEnd;
    text += "      Mem Physical Address " + index_text + Address(card.memory_physical_address[j]) +
            kEnd;
  }
  text += "      Interrupt     " + Decimal(8, card.interrupt) + kEnd;
  text += "      I/O Address   " + Address(card.io_address) + kEnd;
  text += "      I/O Bytes     " + Decimal(8, card.io_length) + kEnd;
  return text;
}

}  // namespace

uint32_t CountInstalledCards(const std::string& card_name, uint32_t vendor_id, uint32_t device_id,
                             uint32_t subsystem, bool& dos_mode, uint8_t* variants,
                             uint32_t max_cards, PCI_CARD_INFO* cards) {
  Log("Counting installed cards for cardname " + card_name, 0);
  Log("  Vendor ID " + FormatHex(vendor_id, 4, false) + "  Device ID " +
          FormatHex(device_id, 4, false) + "  Sub Vendor ID " + FormatHex(subsystem, 8, false),
      0);
  const uint32_t count = P9080_CountCards(vendor_id, device_id, subsystem, max_cards, cards);
  LogPciCardReport(static_cast<int32_t>(count), cards);
  if (count == 0) {
    const std::string& error = P9080_LastErrorText();
    Log("  Found 0 Cards Installed" + (error.empty() ? "" : "  Error Found is " + error), 0);
    return 0;
  }
  bool found_dos_card = false;
  for (uint32_t i = 0; i < count; ++i) {
    P9080_HANDLE card = nullptr;
    if (!P9080_Open(card, 0, cards[i])) {
      LogError("COULD NOT OPEN CARD " + Whole(i + 1) + " See SW", static_cast<int32_t>(i), false);
      continue;
    }
    if (cards[i].memory_count >= 2 && !IsCardInFlatMode(card, variants[i])) {
      Log("  Setting to Flat Mode (Windows).  You Need To REBOOT for this to work",
          static_cast<int32_t>(i + 1));
      dos_mode = true;
      found_dos_card = true;
      SetCardToFlatMode(card, variants[i]);
    }
    P9080_Close(card);
  }
  if (found_dos_card) {
    LogError("Found a card in DOS mode.  You NEED to REBOOT before contining", 255, true);
    return 0;
  }
  Log("  Total cards of this type found is " + Whole(count), 0);
  return count;
}

void LogPciCardReport(int32_t count, const PCI_CARD_INFO* cards) {
  if (count < 1) {
    Log("NO CARDS TO LOG INFO ON", 0);
    return;
  }
  for (int32_t i = 0; i < count; ++i) Log(CardReport(i, cards[i]), i);
}

bool IsCardInFlatMode(P9080_HANDLE card, uint8_t& variant) {
  const uint16_t a = EepromReadWord(card, kEepromWordA);
  const uint16_t b = EepromReadWord(card, kEepromWordB);
  const uint16_t c = EepromReadWord(card, kEepromWordC);
  if (b == kFlatB && c == kFlatC && (a == kFlatA || a == kFlatVariant1A)) {
    variant = a == kFlatVariant1A ? 1 : 0;
    return true;
  }
  variant = a == kDosVariant1A && b == kDosVariant1B && c == kDosVariant1C ? 1 : 0;
  Log("Card is set to DOS mode.  EEPROM C,B,A =.. " + Word(c) + " " + Word(b) + " " + Word(a) + " ",
      1);
  return false;
}

void SetCardToFlatMode(P9080_HANDLE card, uint8_t variant) {
  Log("--------SETMARNFLAT BEGIN------------", 0);
  Log("  writing eeprom", 0);
  EepromWriteEnable(card);
  EepromWriteWord(card, kEepromWordA, variant == 1 ? kFlatVariant1A : kFlatA);
  EepromWriteWord(card, kEepromWordB, kFlatB);
  EepromWriteWord(card, kEepromWordC, kFlatC);
  platform::clock().Sleep(kEepromSettleMs);
  const uint16_t a = EepromReadWord(card, kEepromWordA);
  const uint16_t b = EepromReadWord(card, kEepromWordB);
  const uint16_t c = EepromReadWord(card, kEepromWordC);
  Log("Resulting EEPROM Readings (A,B,C) = " + Word(a) + " " + Word(b) + " " + Word(c), 0);
  Log("--------SETMARNFLAT END------------", 0);
}
