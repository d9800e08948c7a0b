#pragma once
// One card's IRIG time-code reader: it decodes an external IRIG A, B or G signal or runs from
// its internal clock, which is seeded with the PC's local time. Driven through byte registers
// in address space 3 of the card; the card object owns the card handle and this reader.

#include <cstdint>
#include <string>

#include "dll/Plxcommonunit.h"
#include "zorv/IrigSetup.h"
#include "zorv/ZorvApi.h"

class marnirigclass {
 public:
  static constexpr uint32_t kAddressSpace = 3;
  // Register offsets in address space 3.
  static constexpr uint32_t kControlRegister = 0x18;  // write: code select, flywheel
  static constexpr uint32_t kSeedPort = 0x19;         // write: the seed message, byte by byte
  static constexpr uint32_t kCaptureRegister = 0x1A;  // write 0: latch the time for reading
  static constexpr uint32_t kStatusRegister = 0x1F;   // bit 7 busy, bit 4 error, day hundreds
  static constexpr uint8_t kBusyBit = 0x80;
  static constexpr uint8_t kErrorBit = 0x10;
  static constexpr uint8_t kFlywheelBit = 0x04;
  // Status codes.
  static constexpr int32_t kStatusBusy = kZorvApiIrigBusy;
  static constexpr int32_t kStatusError = kZorvApiIrigError;
  static constexpr int32_t kStatusReady = kZorvApiIrigReady;
  static constexpr int kMaxBusyPolls = 100;
  static constexpr int kMaxReadyReads = 10;
  static constexpr size_t kSeedMessageSize = 12;

  marnirigclass() = default;
  marnirigclass(const marnirigclass&) = delete;
  marnirigclass& operator=(const marnirigclass&) = delete;

  // Keeps a copy of the card handle (not owned). False, with "Invalid decom driver", when
  // there is none.
  bool Open(int32_t card_index, P9080_HANDLE card_handle, std::string& error_text);
  // 255 without a card handle.
  uint8_t ReadIrigRegister(uint32_t offset);
  // Nothing without a card handle.
  void WriteIrigRegister(uint32_t offset, uint8_t value);
  // 4 when the reader reports an error, else 2 while busy, else 5.
  bool GetIrigStatus(int32_t& status);
  // The decoded time in seconds of the year, day 1 = 1 January (so 1 January 00:00:00 reads
  // 86400); 0.0 on failure.
  bool GetIrigNowtime(double& seconds);
  bool LoadIrigSetup(const IrigSetup& setup, std::string& error_text);

  int32_t CardIndex() const { return card_index_; }

 private:
  bool LoadInternalClock(bool flywheel, std::string& error_text);
  bool WaitSeedPortReady();
  bool Fail(const char* text, std::string& error_text);

  P9080_HANDLE card_handle_ = nullptr;
  bool valid_ = false;
  int32_t card_index_ = 0;
  std::string error_text_;
};
