#include "platform/windriver_device.h"
#include "windows_api.h"

namespace platform {

WinDriverHandle OpenWinDriverDevice() {
  HANDLE device = ::CreateFileA("\\\\.\\WINDRVR6", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
  if (device == INVALID_HANDLE_VALUE) return kNoWinDriverDevice;
  return reinterpret_cast<WinDriverHandle>(device);
}

int32_t WinDriverDeviceRequest(WinDriverHandle device, uint32_t code, void* record, uint32_t size) {
  if (device == kNoWinDriverDevice) return -1;
  // The driver answers in the record itself and returns its status in the output buffer.
  DWORD status = 0xFFFFFFFF;
  DWORD returned = 0;
  ::DeviceIoControl(reinterpret_cast<HANDLE>(device), code, record, size, &status, sizeof(status),
                    &returned, nullptr);
  return static_cast<int32_t>(status);
}

void CloseWinDriverDevice(WinDriverHandle device) {
  if (device != kNoWinDriverDevice) ::CloseHandle(reinterpret_cast<HANDLE>(device));
}

}  // namespace platform
