#pragma once
// The emulated card bus as a backend of the driver seam, asked for with ZORV_EMULATE.

#include "driver/DriverBackend.h"

namespace emulator {

void RegisterEmulatedBackend(driver::BackendRegistry& registry);

}  // namespace emulator
