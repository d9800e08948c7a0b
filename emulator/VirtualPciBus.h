#pragma once
// The emulated PCI bus: the cards of a scenario, answering the six WinDriver requests on
// their byte records (driver/KesPlxGenDriverUnit.h) as the kernel driver does. Requests that
// the driver would refuse or that the library never should send (an unknown card, location,
// registration handle or address, a record of the wrong size) fail and are counted as
// protocol errors for tests.
//
// While emulation is on the bus is process-wide: the scan at library load and every later
// card open see the same cards and EEPROM contents.

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "driver/DriverBackend.h"
#include "emulator/EmulatedCard.h"
#include "emulator/Scenario.h"

namespace emulator {

class VirtualPciBus {
 public:
  // Status of a refused request.
  static constexpr int32_t kRefused = 0x20000001;

  explicit VirtualPciBus(const Scenario& scenario);
  // Writes the violation report when ZORV_EMULATOR_REPORT names a file (ViolationReport.h), and
  // the cards' state to the state file when the bus keeps one (CardStateFile.h).
  ~VirtualPciBus();

  // The bus leaves its cards' state in the file as it stops.
  void KeepStateIn(const std::string& state_file) { state_file_ = state_file; }

  size_t CardCount() const { return cards_.size(); }
  EmulatedCard& Card(size_t index) { return *cards_[index]; }

  // An open device, as a file handle of the driver is. Registration succeeds for a
  // Usable=SCANONLY card only on a device that has scanned.
  uint32_t OpenSession();
  // Releases what the device still holds registered (each one a protocol error).
  void CloseSession(uint32_t session);
  int32_t Request(uint32_t session, uint32_t code, uint8_t* record, uint32_t size);

  size_t RegistrationCount() const;
  int ProtocolErrors() const;
  std::string LastProtocolError() const;

 private:
  struct Registration {
    uint32_t session = 0;
    size_t card = 0;
  };

  int32_t ScanCards(uint32_t session, uint8_t* record);
  int32_t GetCardInfo(uint8_t* record);
  int32_t RegisterCard(uint32_t session, uint8_t* record);
  int32_t UnregisterCard(uint8_t* record);
  int32_t ReadPciConfig(uint8_t* record);
  int32_t Transfer(uint8_t* record);
  EmulatedCard* CardAt(uint32_t bus, uint32_t slot, uint32_t function);
  int32_t Refuse(const std::string& what);

  mutable std::mutex mutex_;
  std::vector<std::unique_ptr<EmulatedCard>> cards_;
  std::map<uint32_t, Registration> registrations_;
  std::set<uint32_t> open_sessions_;
  std::set<uint32_t> scanned_sessions_;
  uint32_t next_session_ = 1;
  uint32_t next_handle_ = 0x100;
  int protocol_errors_ = 0;
  std::string last_protocol_error_;
  std::string state_file_;
};

// One open device of the bus, the library's driver backend while emulation is on.
class VirtualDevice final : public driver::DriverBackend {
 public:
  explicit VirtualDevice(std::shared_ptr<VirtualPciBus> bus);
  ~VirtualDevice() override;
  VirtualDevice(const VirtualDevice&) = delete;
  VirtualDevice& operator=(const VirtualDevice&) = delete;

  int32_t Request(uint32_t code, uint8_t* record, uint32_t size) override;
  // The direct addresses the bus reports are not pointers into this process.
  bool DirectAddressesUsable() const override { return false; }

 private:
  std::shared_ptr<VirtualPciBus> bus_;
  uint32_t session_;
};

// The process-wide bus for a ZORV_EMULATE value: the active bus when a test started it from
// a Scenario object or it was built from the same value, else a new bus built from the value.
// A new bus takes up the state the last bus of the value kept and keeps its own (unless
// ZORV_EMULATE_FRESH=1). When the value cannot be used the new bus has no card, and
// `problems` gets the reasons, which have also gone to standard error.
std::shared_ptr<VirtualPciBus> ConnectBus(const std::string& emulate_value,
                                          std::vector<std::string>& problems);
// The active bus, or nullptr.
VirtualPciBus* ActiveBus();
// Tests: make a bus of this scenario the active one. The driver seam uses it whenever
// ZORV_EMULATE is set.
VirtualPciBus& StartBus(const Scenario& scenario);
// Tests: drop the active bus (devices still open keep theirs until they close).
void StopBus();

}  // namespace emulator
