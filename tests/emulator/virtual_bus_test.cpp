// The process-wide bus and the driver's side of the requests that the library never should
// send; the library's own sequences are tested through the PCI access layer (tests/dll).

#include <gtest/gtest.h>

#include "driver/KesPlxGenDriverUnit.h"
#include "emulator/CardStateFile.h"
#include "emulator/VirtualPciBus.h"
#include "platform/process.h"

namespace {

namespace wd = windriver;
using emulator::CardScenario;
using emulator::Scenario;
using emulator::VirtualDevice;
using emulator::VirtualPciBus;

class ProcessBus : public ::testing::Test {
 protected:
  ProcessBus() { platform::SetEnvironmentVariable(emulator::kFreshVariable, "1"); }
  ~ProcessBus() override {
    emulator::StopBus();
    platform::SetEnvironmentVariable(emulator::kFreshVariable, "");
  }

  std::shared_ptr<VirtualPciBus> Connect(const std::string& value) {
    return emulator::ConnectBus(value, problems_);
  }

  std::vector<std::string> problems_;
};

TEST_F(ProcessBus, SameValueKeepsTheBusAndAnotherValueReplacesIt) {
  EXPECT_EQ(emulator::ActiveBus(), nullptr);
  const std::shared_ptr<VirtualPciBus> first = Connect("2");
  EXPECT_EQ(first->CardCount(), 2u);
  EXPECT_EQ(Connect("2"), first);
  EXPECT_EQ(emulator::ActiveBus(), first.get());

  const std::shared_ptr<VirtualPciBus> second = Connect("3");
  EXPECT_NE(second, first);
  EXPECT_EQ(second->CardCount(), 3u);
  EXPECT_EQ(first->CardCount(), 2u) << "a device still holding the old bus keeps it";
}

TEST_F(ProcessBus, UnusableValueGivesABusWithoutCards) {
  testing::internal::CaptureStderr();
  EXPECT_EQ(Connect("42")->CardCount(), 0u);
  EXPECT_EQ(Connect("42")->CardCount(), 0u);
  const std::string errors = testing::internal::GetCapturedStderr();
  EXPECT_EQ(errors, "ZORV_EMULATE: 42: a card count must be 0 to 16\n") << "reported once";
  EXPECT_EQ(problems_, std::vector<std::string>{"42: a card count must be 0 to 16"});
}

TEST_F(ProcessBus, BusStartedFromAScenarioServesAnyValue) {
  VirtualPciBus& started = emulator::StartBus(Scenario{std::vector<CardScenario>(5)});
  EXPECT_EQ(Connect("1").get(), &started);
  emulator::StopBus();
  EXPECT_EQ(emulator::ActiveBus(), nullptr);
}

class BusRequests : public ::testing::Test {
 protected:
  int32_t Register(VirtualDevice& device, size_t card, uint32_t& handle) {
    wd::Record<wd::RegisterCard::kSize> record;
    bus_->Card(card).Resources().Store(record.data());
    const int32_t status = device.Request(wd::kRegisterCard, record.data(), record.kSize);
    handle = record.Get(wd::RegisterCard::kHandle);
    return status;
  }
  int32_t Unregister(VirtualDevice& device, uint32_t handle) {
    wd::Record<wd::RegisterCard::kSize> record;
    record.Set(wd::RegisterCard::kHandle, handle);
    return device.Request(wd::kUnregisterCard, record.data(), record.kSize);
  }
  void Scan(VirtualDevice& device) {
    wd::Record<wd::ScanCards::kSize> record;
    record.Set(wd::ScanCards::kVendor, 0x10B5);
    record.Set(wd::ScanCards::kDevice, 0x9080);
    ASSERT_EQ(device.Request(wd::kScanCards, record.data(), record.kSize), 0);
  }

  std::shared_ptr<VirtualPciBus> bus_ = std::make_shared<VirtualPciBus>(
      Scenario{{CardScenario{}, CardScenario{.usable = emulator::Usable::kScanOnly}}});
};

TEST_F(BusRequests, ScanOnlyCardRegistersOnlyOnADeviceThatScanned) {
  VirtualDevice scanning(bus_);
  VirtualDevice opening(bus_);
  Scan(scanning);
  uint32_t handle = 0;
  ASSERT_EQ(Register(opening, 1, handle), 0);
  EXPECT_EQ(handle, 0u);
  ASSERT_EQ(Register(scanning, 1, handle), 0);
  EXPECT_NE(handle, 0u);
  EXPECT_EQ(Unregister(scanning, handle), 0);
  EXPECT_EQ(bus_->ProtocolErrors(), 0);
}

TEST_F(BusRequests, RegistrationsAreTrackedAndReleasedOnUnregister) {
  uint32_t first = 0;
  uint32_t second = 0;
  {
    VirtualDevice device(bus_);
    ASSERT_EQ(Register(device, 0, first), 0);
    ASSERT_EQ(Register(device, 0, second), 0);
    EXPECT_NE(first, second);
    EXPECT_EQ(bus_->RegistrationCount(), 2u);
    EXPECT_EQ(Unregister(device, first), 0);
    EXPECT_EQ(Unregister(device, first), VirtualPciBus::kRefused) << "already released";
    EXPECT_EQ(bus_->ProtocolErrors(), 1);
  }
  // Closing the device with `second` still registered releases it, and says so.
  EXPECT_EQ(bus_->RegistrationCount(), 0u);
  EXPECT_EQ(bus_->ProtocolErrors(), 2);
}

TEST_F(BusRequests, RequestsTheLibraryNeverSendsAreRefusedAndCounted) {
  VirtualDevice device(bus_);
  const uint32_t register_port = bus_->Card(0).Resources().items[3].address;
  struct Case {
    const char* name;
    uint32_t code;
    uint32_t size;
    void (*fill)(wd::Record<wd::ScanCards::kSize>& record, uint32_t port);
  };
  const Case cases[] = {
      {"unknown request", 0x95380000, 32, [](auto&, uint32_t) {}},
      {"record of the wrong size", wd::kTransfer, 36, [](auto&, uint32_t) {}},
      {"transfer to an address no card decodes", wd::kTransfer, 32,
       [](auto& r, uint32_t) {
         r.Set(wd::Transfer::kCommand, wd::kReadIoByte);
         r.Set(wd::Transfer::kByteCount, 1);
         r.Set(wd::Transfer::kDataPointer, wd::PointerField(r.data() + wd::Transfer::kData));
       }},
      {"word transfer", wd::kTransfer, 32,
       [](auto& r, uint32_t port) {
         r.Set(wd::Transfer::kAddress, port);
         r.Set(wd::Transfer::kCommand, wd::kReadIoWord);
         r.Set(wd::Transfer::kByteCount, 2);
         r.Set(wd::Transfer::kDataPointer, wd::PointerField(r.data() + wd::Transfer::kData));
       }},
      {"transfer whose pointer misses the data field", wd::kTransfer, 32,
       [](auto& r, uint32_t port) {
         r.Set(wd::Transfer::kAddress, port);
         r.Set(wd::Transfer::kCommand, wd::kReadIoByte);
         r.Set(wd::Transfer::kByteCount, 1);
       }},
      {"configuration read at an empty location", wd::kReadPciConfig, 32,
       [](auto& r, uint32_t) { r.Set(wd::ReadPciConfig::kReadFlag, 1); }},
      {"registration of resources no card has", wd::kRegisterCard, 948, [](auto&, uint32_t) {}},
  };
  int expected_errors = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    wd::Record<wd::ScanCards::kSize> record;
    c.fill(record, register_port);
    EXPECT_EQ(device.Request(c.code, record.data(), c.size), VirtualPciBus::kRefused);
    EXPECT_EQ(bus_->ProtocolErrors(), ++expected_errors) << bus_->LastProtocolError();
  }
}

}  // namespace
