#pragma once
// Card discovery at library load: the scan for one bridge type, the PCI card report in the
// log, and the check of each card's EEPROM mode. A card whose bridge EEPROM still holds the
// DOS-mode configuration is switched to the flat (Windows) configuration; the machine must
// then be rebooted before the library opens any card.

#include <cstdint>
#include <string>

#include "dll/Plxcommonunit.h"

// The EEPROM words that hold the mode, A, B and C in the log.
constexpr uint32_t kEepromWordA = 10;
constexpr uint32_t kEepromWordB = 11;
constexpr uint32_t kEepromWordC = 12;

// Scans for cards of one bridge type, logs the report and rewrites DOS-mode cards. Returns
// the number of usable cards found, 0 when one of them was in DOS mode (dos_mode is then
// set; it is never cleared here). variants: one byte per card, up to max_cards.
uint32_t CountInstalledCards(const std::string& card_name, uint32_t vendor_id, uint32_t device_id,
                             uint32_t subsystem, bool& dos_mode, uint8_t* variants,
                             uint32_t max_cards, PCI_CARD_INFO* cards);

void LogPciCardReport(int32_t count, const PCI_CARD_INFO* cards);

// True when the card's EEPROM holds a flat-mode configuration; the variant tells which.
bool IsCardInFlatMode(P9080_HANDLE card, uint8_t& variant);

// Writes the flat-mode configuration of the variant and logs what the EEPROM then holds.
void SetCardToFlatMode(P9080_HANDLE card, uint8_t variant);
