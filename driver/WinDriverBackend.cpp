#include "driver/DriverBackend.h"
#include "platform/windriver_device.h"

namespace driver {
namespace {

class WinDriverBackend final : public DriverBackend {
 public:
  explicit WinDriverBackend(platform::WinDriverHandle device) : device_(device) {}
  ~WinDriverBackend() override { platform::CloseWinDriverDevice(device_); }
  WinDriverBackend(const WinDriverBackend&) = delete;
  WinDriverBackend& operator=(const WinDriverBackend&) = delete;

  int32_t Request(uint32_t code, uint8_t* record, uint32_t size) override {
    return platform::WinDriverDeviceRequest(device_, code, record, size);
  }

  bool DirectAddressesUsable() const override { return sizeof(void*) == 4; }

 private:
  platform::WinDriverHandle device_;
};

}  // namespace

std::unique_ptr<DriverBackend> OpenWinDriverBackend() {
  const platform::WinDriverHandle device = platform::OpenWinDriverDevice();
  if (device == platform::kNoWinDriverDevice) return nullptr;
  try {
    return std::make_unique<WinDriverBackend>(device);
  } catch (...) {
    platform::CloseWinDriverDevice(device);
    return nullptr;
  }
}

}  // namespace driver
