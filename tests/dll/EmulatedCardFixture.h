#pragma once
// Test fixtures for everything that talks to a card through the PCI access layer (the IRIG
// reader tests, the bitsync tests, the PCI and discovery tests):
//   ScopedEmulateValue    sets ZORV_EMULATE for its lifetime ("" turns emulation off);
//   ScopedEmulatedBus     turns emulation on with a given scenario for its lifetime;
//   EmulatedCardFixture   a virtual clock plus one emulated card, scanned with
//                         P9080_CountCards and opened with P9080_Open: call OpenCard(scenario)
//                         in the test, then use handle() and card().
// Link the test with zorv_pci.

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "dll/Plxcommonunit.h"
#include "emulator/VirtualPciBus.h"
#include "platform/clock.h"
#include "platform/process.h"

namespace zorv_test {

// ZORV_EMULATE holds the value for the object's lifetime; an empty value turns emulation off.
class ScopedEmulateValue {
 public:
  explicit ScopedEmulateValue(const std::string& value)
      : previous_(platform::EnvironmentVariable("ZORV_EMULATE")) {
    platform::SetEnvironmentVariable("ZORV_EMULATE", value);
  }
  ~ScopedEmulateValue() {
    platform::SetEnvironmentVariable("ZORV_EMULATE", previous_.value_or(""));
  }
  ScopedEmulateValue(const ScopedEmulateValue&) = delete;
  ScopedEmulateValue& operator=(const ScopedEmulateValue&) = delete;

 private:
  std::optional<std::string> previous_;
};

// Emulation on with the scenario's bus active; both undone at the end.
class ScopedEmulatedBus {
 public:
  explicit ScopedEmulatedBus(const emulator::Scenario& scenario)
      : bus_(&emulator::StartBus(scenario)) {}
  ~ScopedEmulatedBus() { emulator::StopBus(); }
  ScopedEmulatedBus(const ScopedEmulatedBus&) = delete;
  ScopedEmulatedBus& operator=(const ScopedEmulatedBus&) = delete;

  emulator::VirtualPciBus& bus() { return *bus_; }

 private:
  ScopedEmulateValue emulate_{"test scenario"};
  emulator::VirtualPciBus* bus_;
};

class EmulatedCardFixture : public ::testing::Test {
 protected:
  // Emulates one card of this scenario and opens it; fails the test when that does not work.
  void OpenCard(const emulator::CardScenario& scenario = {}) {
    emulated_.emplace(emulator::Scenario{{scenario}});
    const uint32_t device_id = scenario.bridge == emulator::BridgeType::k9056 ? 0x9056 : 0x9080;
    ASSERT_EQ(P9080_CountCards(0x10B5, device_id, scenario.subsystem, 1, &info_), 1u);
    ASSERT_TRUE(P9080_Open(handle_, 0, info_)) << P9080_LastErrorText();
  }

  void TearDown() override {
    P9080_Close(handle_);
    if (emulated_) {
      EXPECT_EQ(emulated_->bus().ProtocolErrors(), 0) << emulated_->bus().LastProtocolError();
      EXPECT_EQ(emulated_->bus().RegistrationCount(), 0u);
    }
    emulated_.reset();
  }

  P9080_HANDLE handle() { return handle_; }
  const PCI_CARD_INFO& info() const { return info_; }
  emulator::EmulatedCard& card() { return emulated_->bus().Card(0); }
  platform::VirtualClock& clock() { return clock_; }

 private:
  platform::VirtualClock clock_;
  platform::ScopedClock scoped_clock_{clock_};
  std::optional<ScopedEmulatedBus> emulated_;
  PCI_CARD_INFO info_{};
  P9080_HANDLE handle_ = nullptr;
};

}  // namespace zorv_test
