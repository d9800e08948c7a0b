#pragma once
// The driver seam: one opened "device" that answers the WinDriver requests of
// KesPlxGenDriverUnit.h. Opening picks the backend: the in-process emulated bus when
// ZORV_EMULATE is set (a non-empty value), else the WinDriver kernel driver, which exists on
// Windows only. The emulator is never a fallback for a missing driver.

#include <cstdint>
#include <memory>

#include "platform/windriver_device.h"

namespace emulator {
class VirtualDevice;
}

class DriverDevice {
 public:
  DriverDevice();
  ~DriverDevice();
  DriverDevice(const DriverDevice&) = delete;
  DriverDevice& operator=(const DriverDevice&) = delete;

  bool Open();
  void Close();
  bool IsOpen() const;

  // Sends one record; the answer comes back in the same record. 0 is success; a device that
  // is not open yields -1.
  int32_t Request(uint32_t code, uint8_t* record, uint32_t size);

  // True when the user-mode direct address of a memory range is a pointer this process may
  // use: only a 32-bit process talking to the real driver gets such addresses.
  bool DirectAddressesUsable() const;

 private:
  platform::WinDriverHandle driver_ = platform::kNoWinDriverDevice;
  std::unique_ptr<emulator::VirtualDevice> emulated_;
};
