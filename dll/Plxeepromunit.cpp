#include "dll/Plxeepromunit.h"

#include "support/KesBorGenUnit.h"

namespace {

constexpr uint32_t kBridgeSpace = 1;
constexpr uint32_t kControlByte = 0x6F;
constexpr uint32_t kIdentityByte = 0x72;
constexpr uint8_t kIdentity9056 = 0x56;

constexpr uint8_t kClock = 0x01;
constexpr uint8_t kChipSelect = 0x02;
constexpr uint8_t kDataIn = 0x04;
constexpr uint8_t kDataOut = 0x08;
constexpr uint8_t kCarried = 0x80;

constexpr uint16_t kWriteEnableCommand = 0x9800;
constexpr uint16_t kWriteCommand = 0xA000;
constexpr uint16_t kReadCommand = 0xC000;

uint8_t ReadControl(P9080_HANDLE card) {
  return P9080_ReadByte(card, kBridgeSpace, kControlByte);
}

void WriteControl(P9080_HANDLE card, uint8_t value) {
  P9080_WriteByte(card, kBridgeSpace, kControlByte, value);
}

void ChipSelectOff(P9080_HANDLE card) {
  WriteControl(card, ReadControl(card) & kCarried);
}

void ChipSelectOn(P9080_HANDLE card) {
  ChipSelectOff(card);
  WriteControl(card, ReadControl(card) | kChipSelect);
}

// Clocks out the top `count` bits of the value, most significant first.
void ShiftOut(P9080_HANDLE card, uint16_t value, int count) {
  const uint8_t base = ReadControl(card) & kChipSelect;
  for (int i = 0; i < count; ++i) {
    const uint8_t v = base | ((value & 0x8000) != 0 ? kDataIn : 0);
    WriteControl(card, v);
    WriteControl(card, v + kClock);
    WriteControl(card, v);
    value = static_cast<uint16_t>(value << 1);
  }
}

void SendCommand(P9080_HANDLE card, uint32_t address, uint16_t pattern) {
  const int length = P9080_ReadByte(card, kBridgeSpace, kIdentityByte) == kIdentity9056 ? 11 : 9;
  const uint16_t field = static_cast<uint16_t>((address << (16 - length)) & 0x1FFF);
  ChipSelectOn(card);
  ShiftOut(card, field | pattern, length);
}

}  // namespace

void EepromWriteEnable(P9080_HANDLE card) {
  SendCommand(card, 0, kWriteEnableCommand);
  ChipSelectOff(card);
}

bool EepromWriteWord(P9080_HANDLE card, uint32_t address, uint16_t value) {
  ChipSelectOff(card);
  SendCommand(card, address, kWriteCommand);
  ShiftOut(card, value, 16);
  WriteControl(card, kCarried);  // chip select falls: the part starts programming
  ChipSelectOn(card);
  // The part shows busy on its data line until the word is written; a part that never
  // finishes must not hang the library.
  bool ready = false;
  for (int poll = 0; poll < kEepromReadyPolls && !ready; ++poll) {
    ready = (ReadControl(card) & kDataOut) != 0;
  }
  ChipSelectOff(card);
  if (!ready) LogInfo("EEPROM write did not complete", 1, false);
  return ready;
}

uint16_t EepromReadWord(P9080_HANDLE card, uint32_t address) {
  // An odd word is read by clocking on from the even word before it.
  const int count = (address & 1) != 0 ? 32 : 16;
  SendCommand(card, address & 0xFE, kReadCommand);
  WriteControl(card, kCarried | kChipSelect);
  uint16_t result = 0;
  for (int i = 0; i < count; ++i) {
    result = static_cast<uint16_t>(result << 1);
    WriteControl(card, ReadControl(card) | kChipSelect | kClock);
    const uint8_t b = ReadControl(card);
    if ((b & kDataOut) != 0) result |= 1;
    WriteControl(card, b & (kCarried | kChipSelect));
  }
  ChipSelectOff(card);
  return result;
}
