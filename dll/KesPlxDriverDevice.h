#pragma once
// The driver seam: one opened "device" that answers the WinDriver requests of
// driver/KesPlxGenDriverUnit.h. Opening picks the backend: an emulation of the cards that the
// build compiled in, when its environment variable (ZORV_EMULATE) is set to a non-empty value,
// else the WinDriver kernel driver, which exists on Windows only. An emulation is never a
// fallback for a missing driver, and it always says so in the log.

#include <cstdint>
#include <memory>

#include "driver/DriverBackend.h"

class DriverDevice {
 public:
  DriverDevice() = default;
  DriverDevice(const DriverDevice&) = delete;
  DriverDevice& operator=(const DriverDevice&) = delete;

  bool Open();
  void Close() { backend_.reset(); }
  bool IsOpen() const { return backend_ != nullptr; }

  // Sends one record; the answer comes back in the same record. 0 is success; a device that
  // is not open yields -1.
  int32_t Request(uint32_t code, uint8_t* record, uint32_t size);

  // True when the user-mode direct address of a memory range is a pointer this process may
  // use: only a 32-bit process talking to the real driver gets such addresses.
  bool DirectAddressesUsable() const;

  // The first open on an emulation after this writes the log line that says so; the library
  // calls it as it opens a new log, so that every log of an emulated run has that line once.
  static void AnnounceEmulationAgain();

 private:
  std::unique_ptr<driver::DriverBackend> backend_;
};
