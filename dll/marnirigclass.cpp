#include "dll/marnirigclass.h"

#include <array>

#include "platform/clock.h"

namespace {

constexpr uint8_t kCodeSelectInternal = 0;
constexpr uint32_t kPauseAfterControlMs = 50;

// Control-register code select for an IRIG code of the setup record (0 B, 1 A, 2 G); any
// other code selects the internal clock.
uint8_t CodeSelect(int32_t source_format) {
  switch (source_format) {
    case 0:
      return 1;
    case 1:
      return 2;
    case 2:
      return 3;
    default:
      return kCodeSelectInternal;
  }
}

uint8_t ControlValue(uint8_t code_select, bool flywheel) {
  return static_cast<uint8_t>(code_select | (flywheel ? marnirigclass::kFlywheelBit : 0));
}

bool IsLeapYear(int32_t year) {
  return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

// 1 January is day 1.
int32_t ReaderDayOfYear(const platform::LocalTime& t) {
  static constexpr std::array<int32_t, 12> kMonthLengths = {31, 28, 31, 30, 31, 30,
                                                            31, 31, 30, 31, 30, 31};
  int32_t day = t.day;
  for (int month = 1; month < t.month; ++month) day += kMonthLengths[month - 1];
  if (t.month > 2 && IsLeapYear(t.year)) ++day;
  return day;
}

// The seed names the second that has just begun, so wait for the PC clock's seconds to
// change rather than sending a time that is already up to a second old. Yielding keeps the
// wait polite to other threads without a sleep's coarse granularity.
platform::LocalTime WaitForNextSecond() {
  const int first_second = platform::clock().Now().second;
  platform::LocalTime now = platform::clock().Now();
  while (now.second == first_second) {
    platform::clock().Yield();
    now = platform::clock().Now();
  }
  return now;
}

void PutDigits(int32_t value, int count, uint8_t* out) {
  for (int i = count - 1; i >= 0; --i) {
    out[i] = static_cast<uint8_t>('0' + value % 10);
    value /= 10;
  }
}

std::array<uint8_t, marnirigclass::kSeedMessageSize> SeedMessage(const platform::LocalTime& t) {
  std::array<uint8_t, marnirigclass::kSeedMessageSize> message{};
  message[0] = 0x01;
  message[1] = 'A';
  PutDigits(ReaderDayOfYear(t), 3, &message[2]);
  PutDigits(t.hour, 2, &message[5]);
  PutDigits(t.minute, 2, &message[7]);
  PutDigits(t.second, 2, &message[9]);
  message[11] = 0x17;
  return message;
}

int16_t High(uint8_t value) {
  return static_cast<int16_t>(value >> 4);
}
int16_t Low(uint8_t value) {
  return static_cast<int16_t>(value & 0x0F);
}

// Two BCD digits; a nibble above 9 counts as its raw value.
int16_t TwoDigits(uint8_t value) {
  return static_cast<int16_t>(High(value) * 10 + Low(value));
}

}  // namespace

bool marnirigclass::Open(int32_t card_index, P9080_HANDLE card_handle, std::string& error_text) {
  card_index_ = card_index;
  card_handle_ = card_handle;
  error_text_.clear();
  valid_ = card_handle != nullptr;
  if (!valid_) error_text_ = "Invalid decom driver";
  error_text = error_text_;
  return valid_;
}

uint8_t marnirigclass::ReadIrigRegister(uint32_t offset) {
  if (card_handle_ == nullptr) return 255;
  return P9080_ReadByte(card_handle_, kAddressSpace, offset);
}

void marnirigclass::WriteIrigRegister(uint32_t offset, uint8_t value) {
  if (card_handle_ == nullptr) return;
  P9080_WriteByte(card_handle_, kAddressSpace, offset, value);
}

bool marnirigclass::GetIrigStatus(int32_t& status) {
  if (!valid_) return false;
  const uint8_t value = ReadIrigRegister(kStatusRegister);
  if (value & kErrorBit) {
    status = kStatusError;
  } else if (value & kBusyBit) {
    status = kStatusBusy;
  } else {
    status = kStatusReady;
  }
  return true;
}

bool marnirigclass::GetIrigNowtime(double& seconds) {
  seconds = 0.0;
  WriteIrigRegister(kCaptureRegister, 0);
  // The capture is quick; a reader that stays busy is read anyway rather than holding up
  // the caller's refresh.
  for (int poll = 0; poll < kMaxBusyPolls; ++poll) {
    int32_t status = 0;
    if (!GetIrigStatus(status) || status == kStatusError) return false;
    if (status != kStatusBusy) break;
  }
  const uint8_t status_register = ReadIrigRegister(kStatusRegister);
  const uint8_t day_register = ReadIrigRegister(0x1E);
  const uint8_t hours_register = ReadIrigRegister(0x1D);
  const uint8_t minutes_register = ReadIrigRegister(0x1C);
  const uint8_t seconds_register = ReadIrigRegister(0x1B);
  const uint8_t milliseconds_register = ReadIrigRegister(0x1A);
  const uint8_t mixed_register = ReadIrigRegister(0x19);  // ms units, us hundreds
  const uint8_t microseconds_register = ReadIrigRegister(0x18);

  const auto day = static_cast<int16_t>(Low(status_register) * 100 + TwoDigits(day_register));
  const int16_t hours = TwoDigits(hours_register);
  const int16_t minutes = TwoDigits(minutes_register);
  const int16_t whole_seconds = TwoDigits(seconds_register);
  const auto milliseconds =
      static_cast<int16_t>(TwoDigits(milliseconds_register) * 10 + High(mixed_register));
  const auto microseconds =
      static_cast<int16_t>(Low(mixed_register) * 100 + TwoDigits(microseconds_register));
  seconds = day * 86400.0 + hours * 3600.0 + minutes * 60.0 + whole_seconds + milliseconds * 0.001 +
            microseconds * 0.000001;
  return true;
}

bool marnirigclass::LoadIrigSetup(const IrigSetup& setup, std::string& error_text) {
  if (!valid_) return Fail("IRIG CARD INVALID", error_text);
  if (!setup.SourceExternal) return LoadInternalClock(setup.FlywheelEnabled, error_text);
  WriteIrigRegister(kControlRegister,
                    ControlValue(CodeSelect(setup.SourceFormat), setup.FlywheelEnabled));
  return true;
}

bool marnirigclass::LoadInternalClock(bool flywheel, std::string& error_text) {
  const platform::LocalTime now = WaitForNextSecond();
  WriteIrigRegister(kControlRegister, ControlValue(kCodeSelectInternal, flywheel));
  platform::clock().Sleep(kPauseAfterControlMs);
  for (uint8_t byte : SeedMessage(now)) {
    if (!WaitSeedPortReady()) return Fail("IRIG SET TIME FAIL", error_text);
    WriteIrigRegister(kSeedPort, byte);
  }
  return true;
}

bool marnirigclass::WaitSeedPortReady() {
  for (int read = 0; read < kMaxReadyReads; ++read) {
    if (!(ReadIrigRegister(kStatusRegister) & kBusyBit)) return true;
    platform::clock().Sleep(1);
  }
  return false;
}

bool marnirigclass::Fail(const char* text, std::string& error_text) {
  error_text_ = text;
  error_text = error_text_;
  return false;
}
