#include "dll/KesPlxDriverDevice.h"

#include <string>
#include <vector>

#include "emulator/VirtualPciBus.h"
#include "platform/process.h"
#include "support/KesBorGenUnit.h"

DriverDevice::DriverDevice() = default;

DriverDevice::~DriverDevice() {
  Close();
}

bool DriverDevice::Open() {
  Close();
  // Read at every open, so that a process chooses emulation before it loads the library.
  const std::optional<std::string> emulate = platform::EnvironmentVariable("ZORV_EMULATE");
  if (emulate && !emulate->empty()) {
    try {
      std::vector<std::string> problems;
      emulated_ =
          std::make_unique<emulator::VirtualDevice>(emulator::ConnectBus(*emulate, problems));
      // An unusable scenario gives a bus without cards; the log says why.
      for (const std::string& problem : problems) LogInfo("ZORV_EMULATE: " + problem, 1, false);
    } catch (...) {
      return false;  // no memory for the bus: the device stays closed
    }
    return true;
  }
  driver_ = platform::OpenWinDriverDevice();
  return driver_ != platform::kNoWinDriverDevice;
}

void DriverDevice::Close() {
  emulated_.reset();
  platform::CloseWinDriverDevice(driver_);
  driver_ = platform::kNoWinDriverDevice;
}

bool DriverDevice::IsOpen() const {
  return emulated_ != nullptr || driver_ != platform::kNoWinDriverDevice;
}

int32_t DriverDevice::Request(uint32_t code, uint8_t* record, uint32_t size) {
  if (emulated_) return emulated_->Request(code, record, size);
  return platform::WinDriverDeviceRequest(driver_, code, record, size);
}

bool DriverDevice::DirectAddressesUsable() const {
  return sizeof(void*) == 4 && !emulated_ && driver_ != platform::kNoWinDriverDevice;
}
