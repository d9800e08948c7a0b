#pragma once
// The WinDriver kernel driver's device, "\\.\WINDRVR6", reached with DeviceIoControl. Only
// Windows has it; elsewhere opening always fails, exactly as when the driver is not installed.

#include <cstdint>

namespace platform {

using WinDriverHandle = intptr_t;
constexpr WinDriverHandle kNoWinDriverDevice = -1;

// The open device, or kNoWinDriverDevice.
WinDriverHandle OpenWinDriverDevice();
// Sends the record (input only; the driver answers in the record) and returns the driver's
// 4-byte status, -1 when the call fails; a device of kNoWinDriverDevice yields -1 without a call.
int32_t WinDriverDeviceRequest(WinDriverHandle device, uint32_t code, void* record, uint32_t size);
void CloseWinDriverDevice(WinDriverHandle device);

}  // namespace platform
