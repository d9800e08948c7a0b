#include "platform/windriver_device.h"

namespace platform {

// There is no WinDriver kernel driver outside Windows: the device never opens, so every
// request sees the closed device.
WinDriverHandle OpenWinDriverDevice() {
  return kNoWinDriverDevice;
}

int32_t WinDriverDeviceRequest(WinDriverHandle, uint32_t, void*, uint32_t) {
  return -1;
}

void CloseWinDriverDevice(WinDriverHandle) {}

}  // namespace platform
