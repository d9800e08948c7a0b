#include "dll/KesPlxDriverDevice.h"

#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/process.h"
#include "support/KesBorGenUnit.h"

namespace {

// Built at the first open, after the library's load: registration is an ordinary call.
const driver::BackendRegistry& CompiledBackends() {
  static const driver::BackendRegistry registry = [] {
    driver::BackendRegistry backends;
    driver::RegisterCompiledBackends(backends);
    return backends;
  }();
  return registry;
}

struct EmulationNotice {
  std::mutex mutex;
  std::string announced;  // "variable=value" last written to the log, empty for none
};

EmulationNotice& Notice() {
  static EmulationNotice notice;
  return notice;
}

// A station's log must never look like one of real cards: the first open on an emulation says
// so, and so does an open on another one. The scan and every card open each open the device.
void LogEmulation(const driver::EmulatedBackend& backend, const std::string& value,
                  const std::vector<std::string>& problems) {
  // An unusable scenario gives a bus without cards; the log says why.
  for (const std::string& problem : problems) LogInfo(backend.variable + ": " + problem, 1, false);
  const std::string setting = backend.variable + "=" + value;
  EmulationNotice& notice = Notice();
  std::lock_guard<std::mutex> lock(notice.mutex);
  if (notice.announced == setting) return;
  notice.announced = setting;
  LogInfo("Cards are EMULATED: " + backend.name + ", " + setting, 1, false);
}

}  // namespace

void DriverDevice::AnnounceEmulationAgain() {
  EmulationNotice& notice = Notice();
  std::lock_guard<std::mutex> lock(notice.mutex);
  notice.announced.clear();
}

bool DriverDevice::Open() {
  Close();
  // Read at every open, so that a process chooses emulation before it loads the library.
  for (const driver::EmulatedBackend& emulated : CompiledBackends().Emulated()) {
    const std::optional<std::string> value = platform::EnvironmentVariable(emulated.variable);
    if (!value || value->empty()) continue;
    std::vector<std::string> problems;
    try {
      backend_ = emulated.open(*value, problems);
    } catch (...) {
      return false;  // no memory for the emulation: the device stays closed
    }
    LogEmulation(emulated, *value, problems);
    return IsOpen();
  }
  backend_ = driver::OpenWinDriverBackend();
  return IsOpen();
}

int32_t DriverDevice::Request(uint32_t code, uint8_t* record, uint32_t size) {
  if (!backend_) return -1;
  return backend_->Request(code, record, size);
}

bool DriverDevice::DirectAddressesUsable() const {
  return backend_ != nullptr && backend_->DirectAddressesUsable();
}
