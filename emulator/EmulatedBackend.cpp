#include "emulator/EmulatedBackend.h"

#include "emulator/VirtualPciBus.h"

namespace emulator {

void RegisterEmulatedBackend(driver::BackendRegistry& registry) {
  registry.AddEmulated({"virtual PCI bus", "ZORV_EMULATE",
                        [](const std::string& value, std::vector<std::string>& problems)
                            -> std::unique_ptr<driver::DriverBackend> {
                          return std::make_unique<VirtualDevice>(ConnectBus(value, problems));
                        }});
}

}  // namespace emulator
