#pragma once
// The bridge's serial EEPROM, driven bit by bit through the control byte of the bridge's
// registers (address space 1): write enable, word write and word read. The bridge identity
// byte picks the command length: 11 bits (8 address bits) on a 9056, 9 bits otherwise.

#include <cstdint>

#include "dll/Plxcommonunit.h"

// Control reads a word write waits for the ready bit before it gives up.
constexpr int kEepromReadyPolls = 1000;

void EepromWriteEnable(P9080_HANDLE card);
// Returns false when the EEPROM never reported ready (logged with code 1).
bool EepromWriteWord(P9080_HANDLE card, uint32_t address, uint16_t value);
uint16_t EepromReadWord(P9080_HANDLE card, uint32_t address);
